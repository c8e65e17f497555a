#include "ui/app/qt_prompter.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

namespace kov {

void QtPrompter::Inform(const std::string& text) {
    Show(text, false, true);
}

bool QtPrompter::Ask(const std::string& text, bool defaultAnswer) {
    return Show(text, true, defaultAnswer);
}

bool QtPrompter::Show(const std::string& text, bool isQuestion, bool defaultAnswer) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return defaultAnswer;
    if (QThread::currentThread() == app->thread())
        return ShowOnGuiThread(text, isQuestion, defaultAnswer);
    // A worker waits for the user; the GUI thread never waits for a worker while it prompts.
    bool answer = defaultAnswer;
    QMetaObject::invokeMethod(
        app, [&] { answer = ShowOnGuiThread(text, isQuestion, defaultAnswer); },
        Qt::BlockingQueuedConnection);
    return answer;
}

bool QtPrompter::ShowOnGuiThread(const std::string& text, bool isQuestion, bool defaultAnswer) {
    if (m_answerer) return m_answerer(text, isQuestion, defaultAnswer);
    const QString message = QString::fromStdString(text);
    const QString title = QCoreApplication::applicationName();
    if (!isQuestion) {
        QMessageBox::information(m_parent, title, message);
        return true;
    }
    const auto def = defaultAnswer ? QMessageBox::Yes : QMessageBox::No;
    return QMessageBox::question(m_parent, title, message, QMessageBox::Yes | QMessageBox::No,
                                 def) == QMessageBox::Yes;
}

}  // namespace kov
