#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <vector>

#include "session/event_log.h"

namespace kov {

// The log pane's lines (Time, Event). The log may be written from any thread; the lines reach
// this model on the GUI thread, in their order, gathered for up to a tenth of a second, so that
// a session writing hundreds of lines a second costs the pane ten repaints a second.
class LogTableModel : public QAbstractTableModel, public EventLogListener {
    Q_OBJECT
public:
    explicit LogTableModel(EventLog& log, QObject* parent = nullptr);
    ~LogTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Retranslate();

    void LineAdded(const LogLine& line) override;
    void Cleared() override;

private:
    void Append(const LogLine& line);
    void Flush();
    void Clear();

    EventLog& m_log;
    std::vector<LogLine> m_lines;
    std::vector<LogLine> m_pending;  // not shown yet
    QTimer m_flush;
    QString m_titles[2];
};

}  // namespace kov
