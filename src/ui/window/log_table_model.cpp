#include "ui/window/log_table_model.h"

#include <QCoreApplication>
#include <QThread>

#include "ui/app/app_icons.h"
#include "ui/app/ui_text.h"

namespace kov {

namespace {
constexpr int kTimeTitle = 23600;
constexpr int kEventTitle = 23601;
constexpr int kFlushPeriodMs = 100;

bool OnGuiThread() {
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}
}  // namespace

LogTableModel::LogTableModel(EventLog& log, QObject* parent)
    : QAbstractTableModel(parent), m_log(log) {
    m_flush.setSingleShot(true);
    m_flush.setInterval(kFlushPeriodMs);
    connect(&m_flush, &QTimer::timeout, this, &LogTableModel::Flush);
    Retranslate();
    m_lines = m_log.Lines();
    m_log.AddListener(this);
}

LogTableModel::~LogTableModel() {
    m_log.RemoveListener(this);
}

int LogTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

int LogTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant LogTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const LogLine& line = m_lines[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return QString::fromStdString(index.column() == 0 ? line.time : line.text);
    if (role == Qt::DecorationRole && index.column() == 0) return AppIcons::Log(line.image);
    if (role == Qt::ToolTipRole && index.column() == 1) return QString::fromStdString(line.text);
    return {};
}

QVariant LogTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && (section == 0 || section == 1))
        return m_titles[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void LogTableModel::Retranslate() {
    m_titles[0] = UiText(kTimeTitle, "Time");
    m_titles[1] = UiText(kEventTitle, "Event");
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

void LogTableModel::LineAdded(const LogLine& line) {
    if (OnGuiThread()) {
        Append(line);
    } else {
        QMetaObject::invokeMethod(
            this, [this, line] { Append(line); }, Qt::QueuedConnection);
    }
}

void LogTableModel::Cleared() {
    if (OnGuiThread()) {
        Clear();
    } else {
        QMetaObject::invokeMethod(
            this, [this] { Clear(); }, Qt::QueuedConnection);
    }
}

void LogTableModel::Append(const LogLine& line) {
    m_pending.push_back(line);
    if (!m_flush.isActive()) m_flush.start();
}

void LogTableModel::Flush() {
    m_flush.stop();
    if (m_pending.empty()) return;
    const int row = rowCount();
    beginInsertRows({}, row, row + static_cast<int>(m_pending.size()) - 1);
    m_lines.insert(m_lines.end(), m_pending.begin(), m_pending.end());
    m_pending.clear();
    endInsertRows();
}

void LogTableModel::Clear() {
    m_flush.stop();
    m_pending.clear();  // cleared before they were shown
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

}  // namespace kov
