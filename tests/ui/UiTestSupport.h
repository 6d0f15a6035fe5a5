#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/ClientConfig.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowEvents.h"

/// Replaces every message box with a recorder that answers at once and keeps what was
/// asked. Restores the previous handler when it goes.
class MessageRecorder
{
public:
    explicit MessageRecorder(int answer = MessageBoxes::kOk) : m_answer(answer)
    {
        m_previous = MessageBoxes::SetHandler([this](const MessageBoxes::Request& request) {
            m_requests.push_back(request);
            return m_answer;
        });
    }
    ~MessageRecorder() { MessageBoxes::SetHandler(m_previous); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<MessageBoxes::Request>& Requests() const { return m_requests; }
    std::vector<QString> Texts() const
    {
        std::vector<QString> texts;
        for (const MessageBoxes::Request& request : m_requests)
            texts.push_back(request.text);
        return texts;
    }
    void Clear() { m_requests.clear(); }
    void SetAnswer(int answer) { m_answer = answer; }

private:
    int m_answer;
    MessageBoxes::Handler m_previous;
    std::vector<MessageBoxes::Request> m_requests;
};

/// Stands in for the main window: keeps every window message posted to it.
class MessageCatcher : public QObject
{
public:
    struct Caught
    {
        int message;
        std::uintptr_t wParam;
        const void* lParam;
    };

    MessageCatcher() { SetMainWindow(this); }
    ~MessageCatcher() override
    {
        if (GetMainWindow() == this)
            SetMainWindow(nullptr);
    }

    /// Delivers what is queued so far.
    void Deliver() { QCoreApplication::sendPostedEvents(this); }
    const std::vector<Caught>& Messages() const { return m_messages; }
    void Clear() { m_messages.clear(); }

protected:
    bool event(QEvent* event) override
    {
        if (const CWindowMessageEvent* const message = AsWindowMessage(event)) {
            m_messages.push_back({message->Message(), message->WParam(), message->LParam()});
            return true;
        }
        return QObject::event(event);
    }

private:
    std::vector<Caught> m_messages;
};

/// Points the process-wide configuration at a fresh temporary folder (optionally with
/// a prepared file) and back to the working directory when it goes.
class ScopedTempConfig
{
public:
    explicit ScopedTempConfig(const std::string& iniText = {})
    {
        if (!iniText.empty()) {
            QDir(m_dir.path()).mkpath(QStringLiteral("config"));
            QFile file(m_dir.path() + QStringLiteral("/config/ClientConfig.ini"));
            if (file.open(QIODevice::WriteOnly))
                file.write(iniText.data(), static_cast<qint64>(iniText.size()));
        }
        g_ClientConfig.LoadConfig(Path());
    }
    ~ScopedTempConfig() { g_ClientConfig.LoadConfig(); }
    ScopedTempConfig(const ScopedTempConfig&) = delete;
    ScopedTempConfig& operator=(const ScopedTempConfig&) = delete;

    std::string Path() const { return m_dir.path().toStdString(); }
    /// The file as a fresh reader sees it.
    CClientConfig Reread() const { return CClientConfig(Path()); }

private:
    QTemporaryDir m_dir;
};

/// Types text into a widget key by key, as a user would; characters beyond ASCII (which
/// QTest::keyClicks cannot send) arrive as key events that carry the character.
inline void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80) {
            QTest::keyClick(widget, ch.toLatin1());
            continue;
        }
        QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

/// The named child, failing the test when it is missing.
template <typename T> T* Child(QWidget& parent, const char* objectName)
{
    T* const child = parent.findChild<T*>(QString::fromLatin1(objectName));
    EXPECT_NE(child, nullptr) << "no child named " << objectName;
    return child;
}
