// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Registers the application's images, string table and style (they live in a static library,
// whose resources are not registered on their own). Safe to call more than once.
void initNuraResources();
