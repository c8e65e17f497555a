#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace kov {

// The countdown before the end-of-session action: the line counts the seconds down and the
// action goes ahead (accepted) when the time is up or on OK; "Cancel shutdown" stops it.
class ShutdownCountdownDialog : public QDialog {
    Q_OBJECT
public:
    ShutdownCountdownDialog(bool shutdown, int seconds, QWidget* parent = nullptr);

    int SecondsLeft() const { return m_left; }
    QString LineText() const;
    QTimer* Timer() const { return m_timer; }

private:
    void Tick();
    void ShowLine();

    bool m_shutdown;
    int m_left;
    QLabel* m_line = nullptr;
    QTimer* m_timer = nullptr;
};

// Shows the countdown modally; true when the action may go ahead.
bool ConfirmEndWithCountdown(bool shutdown);

}  // namespace kov
