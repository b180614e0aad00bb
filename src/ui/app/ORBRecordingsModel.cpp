// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBRecordingsModel.h"

#include "core/media/ORBMediaList.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/TKImageDrawing.h"

#include <QFont>

const char* ORBRecordingsModel::columnIdentifier(int column) {
    static const char* const ids[] = {"saveMode", "date", "time", "file"};
    return column >= 0 && column < ColumnCount ? ids[column] : "";
}

ORBRecordingsModel::ORBRecordingsModel(const ORBMediaList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {}

void ORBRecordingsModel::reload() {
    beginResetModel();
    m_rows = static_cast<int>(std::min<size_t>(m_list.count(), INT_MAX));
    endResetModel();
}

int ORBRecordingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int ORBRecordingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

void ORBRecordingsModel::setColumnNames(const QStringList& names) {
    m_columnNames = names;
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

QString ORBRecordingsModel::modeText(const ORBMedia& media) {
    if (media.isAlwaysMedia()) {
        return L("media.always");
    }
    if (media.isMotionMedia()) {
        return L("media.motion");
    }
    if (media.isEventMedia()) {
        return L("media.event");
    }
    return L("media.unknown");
}

QString ORBRecordingsModel::carImageName(const ORBMedia& media) {
    const char* side = media.isFrontMedia() ? "front" : media.isRearMedia() ? "rear" : nullptr;
    const char* mode = media.isAlwaysMedia()   ? "alwa"
                       : media.isMotionMedia() ? "motion"
                       : media.isEventMedia()  ? "event"
                                               : nullptr;
    if (!side || !mode) {
        return {};
    }
    return QStringLiteral("car_%1_%2").arg(QLatin1String(side), QLatin1String(mode));
}

QString ORBRecordingsModel::dateText(const ORBMedia& media) {
    if (media.year < 1) {
        return {};
    }
    return QString::asprintf("%04d-%02d-%02d", media.year, media.month, media.day);
}

QString ORBRecordingsModel::timeText(const ORBMedia& media) {
    if (media.year <= 0) {
        return {};
    }
    return QString::asprintf("%02d:%02d:%02d", media.hour, media.minute, media.second);
}

QVariant ORBRecordingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0) {
        return {};
    }
    // The list may have been rescanned since the last reload: a missing media gives no cell.
    const auto media = m_list.mediaAtIndex(static_cast<size_t>(index.row()));
    if (!media) {
        return {};
    }
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case SaveMode:
            return modeText(*media);
        case Date:
            return dateText(*media);
        case Time:
            return timeText(*media);
        case File:
            return QString::fromStdString(media->fileName());
        }
        break;
    case Qt::DecorationRole:
        if (column == SaveMode) {
            const QString name = carImageName(*media);
            if (!name.isEmpty()) {
                return TKImageDrawing::imageNamed(name);
            }
        }
        break;
    case Qt::TextAlignmentRole:
        return int((column == File ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    case Qt::ToolTipRole:
        if (m_cutShort && m_cutShort(media->path)) {
            return QString::fromStdString(media->path) + "\n" + L("repair.cut_short");
        }
        return QString::fromStdString(media->path);
    case Qt::FontRole: {
        QFont font;
        font.setPixelSize(11);
        return font;
    }
    default:
        break;
    }
    return {};
}

QVariant ORBRecordingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return section < m_columnNames.size() ? m_columnNames[section] : QString();
    }
    if (role == Qt::TextAlignmentRole) {
        return int((section == File ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    }
    return {};
}
