// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map's preferences: the tile server's URL template, the offline map (an MBTiles file) and
// "Offline only". Also the map menu's share of them ("Offline Map…", "Offline Only", "Map
// Settings…"). Changes apply at once to every map view of the program and are kept in QSettings.

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QLineEdit;
class QMenu;
class TileSource;

class ORBMapPreferencesDialog : public QDialog {
    Q_OBJECT
public:
    using FileChooser = std::function<QString(QWidget* parent)>;

    ORBMapPreferencesDialog(TileSource& tiles, QWidget* parent = nullptr, FileChooser chooseFile = {});

    // Applies the fields; false (with the reason shown) when the offline map cannot be used.
    bool apply();
    void accept() override;

    QLineEdit* urlField() const { return m_url; }
    QLineEdit* offlineFileField() const { return m_offlineFile; }
    QCheckBox* offlineOnlyBox() const { return m_offlineOnly; }

    // New settings for `tiles`, kept as preferences when they work; the reason when the offline map
    // is refused (the settings are then left as they were).
    static QString applySettings(TileSource& tiles, const QString& urlTemplate, const QString& offlineFile,
                                 bool offlineOnly);
    static void addMapActions(QMenu& menu, TileSource& tiles, QWidget* parent, const FileChooser& chooseFile);
    static QString chooseMBTilesFile(QWidget* parent);

private:
    TileSource& m_tiles;
    FileChooser m_chooseFile;
    QLineEdit* m_url;
    QLineEdit* m_offlineFile;
    QCheckBox* m_offlineOnly;
};
