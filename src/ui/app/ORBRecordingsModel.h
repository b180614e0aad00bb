// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recordings list as a table: one row per file of the media list, in its order.

#include <QAbstractTableModel>
#include <QPixmap>

#include <functional>
#include <string>

class ORBMediaList;
class ORBMedia;

class ORBRecordingsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { SaveMode = 0, Date = 1, Time = 2, File = 3, ColumnCount = 4 };
    // Column identifiers of the list ("saveMode", "date", "time", "file").
    static const char* columnIdentifier(int column);

    explicit ORBRecordingsModel(const ORBMediaList& list, QObject* parent = nullptr);

    // Re-reads the list's row count (after a scan has been swapped in).
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setColumnNames(const QStringList& names);
    // Asked when a row's tooltip is shown: whether the file was cut short (its tooltip then says so).
    void setCutShortTest(std::function<bool(const std::string& path)> test) { m_cutShort = std::move(test); }

    // Cell contents, as the list shows them.
    static QString modeText(const ORBMedia& media);
    // "car_<side>_<mode>", or empty when the side or the mode is unknown.
    static QString carImageName(const ORBMedia& media);
    static QString dateText(const ORBMedia& media);
    static QString timeText(const ORBMedia& media);

private:
    const ORBMediaList& m_list;
    int m_rows = 0;
    QStringList m_columnNames;
    std::function<bool(const std::string&)> m_cutShort;
};
