#pragma once

#include <QString>

#include <functional>

class CHalvornDlg;

/// The application object: the one place where the terminal starts. It loads the skin,
/// makes sure one copy runs per user and program name, and runs the main window; the
/// terminal's whole life happens inside that run. Needs a QApplication.
class CHalvornApp
{
public:
    /// `programName` is the program file's base name; it names the single-instance lock.
    /// `lockFolder` is where the lock lives (empty: the user's runtime folder).
    explicit CHalvornApp(QString programName, QString lockFolder = {});
    ~CHalvornApp();
    CHalvornApp(const CHalvornApp&) = delete;
    CHalvornApp& operator=(const CHalvornApp&) = delete;

    /// Start-up and the main window's run. Returns the process's exit status: 0, also
    /// for a second copy that only brought the first one forward.
    int InitInstance();

    /// Called with the main window once it exists, before its run (for test programs).
    void SetMainWindowObserver(std::function<void(CHalvornDlg&)> observer);

    /// The base name of a program path: "/usr/bin/halvorn" gives "halvorn".
    static QString ProgramBaseName(const QString& programPath);

    /// The application's name and desktop entry. No display name is set: the platform
    /// would append it to every window title ("委托确认 — Halvorn"), and the windows carry
    /// their own titles exactly.
    static void SetIdentity();

private:
    QString m_programName;
    QString m_lockFolder;
    std::function<void(CHalvornDlg&)> m_observer;
};
