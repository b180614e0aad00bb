// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/Resources.h"

#include <QtGlobal>

static void registerResources() {
    Q_INIT_RESOURCE(resources);
}

void initNuraResources() {
    static const bool done = (registerResources(), true);
    (void)done;
}
