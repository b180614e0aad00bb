// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ORBMapPreferencesDialog.h"

#include "platform/TileSource.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <utility>

ORBMapPreferencesDialog::ORBMapPreferencesDialog(TileSource& tiles, QWidget* parent, FileChooser chooseFile)
    : QDialog(parent), m_tiles(tiles),
      m_chooseFile(chooseFile ? std::move(chooseFile) : FileChooser(&chooseMBTilesFile)) {
    setWindowTitle(QStringLiteral("Map Settings"));
    setObjectName(QStringLiteral("ORBMapPreferencesDialog"));
    const TileSourceOptions& o = tiles.options();

    m_url = new QLineEdit(o.urlTemplate, this);
    m_url->setPlaceholderText(TileSourceOptions::defaultUrlTemplate());
    m_url->setMinimumWidth(380);
    m_offlineFile = new QLineEdit(o.offlineFile, this);
    m_offlineFile->setPlaceholderText(QStringLiteral("None"));
    auto* choose = new QPushButton(QStringLiteral("Choose\u2026"), this);
    auto* none = new QPushButton(QStringLiteral("None"), this);
    connect(choose, &QPushButton::clicked, this, [this] {
        if (const QString path = m_chooseFile(this); !path.isEmpty()) {
            m_offlineFile->setText(path);
        }
    });
    connect(none, &QPushButton::clicked, m_offlineFile, &QLineEdit::clear);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(m_offlineFile, 1);
    fileRow->addWidget(choose);
    fileRow->addWidget(none);
    m_offlineOnly = new QCheckBox(QStringLiteral("Offline only: fetch no tiles from the network"), this);
    m_offlineOnly->setChecked(o.offlineOnly);

    auto* hint =
        new QLabel(QStringLiteral("Tiles are fetched only for what the map shows, and kept for at least "
                                  "seven days. The offline map's tiles come first."),
                   this);
    hint->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Tile URL template:"), m_url);
    form->addRow(QStringLiteral("Offline map (MBTiles):"), fileRow);
    form->addRow(QString(), m_offlineOnly);
    form->addRow(hint);
    form->addRow(buttons);
}

bool ORBMapPreferencesDialog::apply() {
    const QString error = applySettings(m_tiles, m_url->text().trimmed(), m_offlineFile->text().trimmed(),
                                        m_offlineOnly->isChecked());
    if (!error.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), error);
        return false;
    }
    return true;
}

void ORBMapPreferencesDialog::accept() {
    if (apply()) {
        QDialog::accept();
    }
}

QString ORBMapPreferencesDialog::applySettings(TileSource& tiles, const QString& urlTemplate,
                                               const QString& offlineFile, bool offlineOnly) {
    TileSourceOptions options = tiles.options();
    options.urlTemplate = urlTemplate.isEmpty() ? TileSourceOptions::defaultUrlTemplate() : urlTemplate;
    options.offlineFile = offlineFile;
    options.offlineOnly = offlineOnly;
    const TileSourceOptions before = tiles.options();
    if (QString error = tiles.setOptions(options); !error.isEmpty()) {
        // A refused file leaves the map as it was.
        tiles.setOptions(before);
        return error;
    }
    if (options.savePreferences) {
        options.saveAsPreferences();
    }
    return {};
}

QString ORBMapPreferencesDialog::chooseMBTilesFile(QWidget* parent) {
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Offline Map"), QString(),
                                        QStringLiteral("Offline maps (*.mbtiles);;All files (*)"));
}

void ORBMapPreferencesDialog::addMapActions(QMenu& menu, TileSource& tiles, QWidget* parent,
                                            const FileChooser& chooseFile) {
    const FileChooser choose = chooseFile ? chooseFile : FileChooser(&chooseMBTilesFile);
    menu.addAction(QStringLiteral("Offline Map\u2026"), parent, [&tiles, parent, choose] {
        const QString path = choose(parent);
        if (path.isEmpty()) {
            return;
        }
        const TileSourceOptions& o = tiles.options();
        if (const QString error = applySettings(tiles, o.urlTemplate, path, o.offlineOnly);
            !error.isEmpty()) {
            QMessageBox::warning(parent, QStringLiteral("Offline Map"), error);
        }
    });
    QAction* offlineOnly = menu.addAction(QStringLiteral("Offline Only"));
    offlineOnly->setCheckable(true);
    offlineOnly->setChecked(tiles.options().offlineOnly);
    QObject::connect(offlineOnly, &QAction::toggled, parent, [&tiles](bool on) {
        const TileSourceOptions& o = tiles.options();
        applySettings(tiles, o.urlTemplate, o.offlineFile, on);
    });
    menu.addAction(QStringLiteral("Map Settings\u2026"), parent, [&tiles, parent, choose] {
        ORBMapPreferencesDialog dialog(tiles, parent, choose);
        dialog.exec();
    });
}
