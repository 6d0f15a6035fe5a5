#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// One running copy per user and program name, shown with real processes: copies of the
// terminal's start-up (the probe, started under the terminal's name) in a private runtime
// folder and working folder.

namespace
{
constexpr int kStartMs = 10000; ///< bound for a copy to reach its state
constexpr int kWaitMs = 5000;   ///< bound for every other wait

/// One started copy with everything it has written to standard output so far.
class Probe
{
public:
    Probe(const QString& program, const QString& state, const QString& runtimeFolder,
          const QString& workFolder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
        m_process.setProcessEnvironment(environment);
        m_process.setWorkingDirectory(workFolder);
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("--state"), state, QStringLiteral("--max-seconds"),
                                QStringLiteral("20")});
    }
    ~Probe()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(kWaitMs);
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    void Start()
    {
        m_clock.start();
        m_process.start();
    }
    /// Waits until the copy has written the line; false when it ended or the time ran out.
    bool WaitForLine(const QByteArray& line, int timeoutMs = kWaitMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        for (int i = 0; i < 1000; ++i) {
            Read();
            if (Lines().contains(line))
                return true;
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        }
        return false;
    }
    /// Waits for the end of the copy; false when it still runs after the time.
    bool WaitForEnd(int timeoutMs = kWaitMs)
    {
        const bool ended =
            m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
        if (ended)
            m_elapsedMs = m_clock.elapsed();
        Read();
        return ended;
    }
    /// Asks the copy to end its run as a user would leave it, and waits for the end.
    bool EndRun()
    {
        m_process.closeWriteChannel();
        return WaitForEnd();
    }
    void Kill()
    {
        m_process.kill();
        m_process.waitForFinished(kWaitMs);
    }

    bool IsRunning() const { return m_process.state() != QProcess::NotRunning; }
    bool EndedNormallyWith(int code) const
    {
        return m_process.state() == QProcess::NotRunning &&
               m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == code;
    }
    /// Time from start to end.
    qint64 ElapsedMs() const { return m_elapsedMs; }
    QList<QByteArray> Lines() const { return m_output.split('\n'); }
    const QByteArray& Output() const { return m_output; }
    QByteArray Errors() { return m_process.readAllStandardError(); }

private:
    void Read() { m_output += m_process.readAllStandardOutput(); }

    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_output;
    qint64 m_elapsedMs = -1;
};

class SingleInstanceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid() && m_work.isValid() && m_bin.isValid());
        // The runtime folder is the user's own, as a session manager makes it.
        ASSERT_TRUE(QFile::setPermissions(m_runtime.path(), QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner));
        ASSERT_TRUE(QFileInfo::exists(QStringLiteral(HALVORN_INSTANCE_PROBE)));
    }

    /// The probe installed under a program name of its own.
    QString Program(const QString& name)
    {
        const QString path = QDir(m_bin.path()).filePath(name);
        if (!QFileInfo::exists(path)) {
            EXPECT_TRUE(QFile::link(QStringLiteral(HALVORN_INSTANCE_PROBE), path)) << "link";
        }
        return path;
    }

    std::unique_ptr<Probe> Start(const QString& state, const QString& name = kName)
    {
        auto probe = std::make_unique<Probe>(Program(name), state, m_runtime.path(), m_work.path());
        probe->Start();
        return probe;
    }

    QString LockFile(const QString& name = kName) const
    {
        return QDir(m_runtime.path()).filePath(name + QStringLiteral(".lock"));
    }

    static inline const QString kName = QStringLiteral("halvorn");

    QTemporaryDir m_runtime;
    QTemporaryDir m_work;
    QTemporaryDir m_bin;
};

// In each state the first copy brings forward what the user should see now, and the
// second start ends at once, silently, with status 0.
TEST_F(SingleInstanceTest, SecondStartBringsTheFirstForwardAndEnds)
{
    const struct
    {
        const char* state;
        const char* shown;
    } cases[] = {
        {"logging-in", "loginDialog"},
        {"logged-in", "mainWindow"},
        {"locked", "lockDialog"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        const auto first = Start(QString::fromLatin1(c.state));
        ASSERT_TRUE(first->WaitForLine("ready " + QByteArray(c.shown), kStartMs))
            << first->Output().constData() << first->Errors().constData();

        const auto second = Start(QStringLiteral("logging-in"));
        ASSERT_TRUE(second->WaitForEnd());
        EXPECT_TRUE(second->EndedNormallyWith(0));
        // It must end by itself (WaitForEnd is bounded); how fast is recorded, not judged
        // here, so a loaded machine cannot fail the behaviour.
        ::testing::Test::RecordProperty(std::string("second_start_ms_") + c.state,
                                        static_cast<int>(second->ElapsedMs()));
        EXPECT_TRUE(second->Output().isEmpty()) << second->Output().constData();

        EXPECT_TRUE(first->WaitForLine("forward " + QByteArray(c.shown)))
            << first->Output().constData();
        EXPECT_TRUE(first->IsRunning());
        EXPECT_TRUE(first->EndRun());
        EXPECT_TRUE(first->EndedNormallyWith(0));
        EXPECT_FALSE(QFileInfo::exists(LockFile())) << "a normal end lets go of the lock";
    }
}

TEST_F(SingleInstanceTest, TwoCopiesStartedTogetherLeaveExactlyOneRunning)
{
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const auto a = Start(QStringLiteral("logging-in"));
        const auto b = Start(QStringLiteral("logging-in"));
        // Whichever took the lock says so; the other ends with status 0.
        const QDeadlineTimer deadline(kStartMs);
        for (int i = 0; i < 1000 && !deadline.hasExpired(); ++i) {
            if (!a->IsRunning() || !b->IsRunning())
                break;
            a->WaitForEnd(10);
            b->WaitForEnd(10);
        }
        Probe& loser = a->IsRunning() ? *b : *a;
        Probe& winner = a->IsRunning() ? *a : *b;
        ASSERT_FALSE(loser.IsRunning()) << "both still run";
        EXPECT_TRUE(loser.EndedNormallyWith(0));
        ASSERT_TRUE(winner.WaitForLine("ready loginDialog", kStartMs))
            << winner.Output().constData();
        EXPECT_TRUE(winner.WaitForLine("forward loginDialog")) << "the other start was heard";
        EXPECT_TRUE(winner.IsRunning());
        EXPECT_TRUE(winner.EndRun());
    }
}

// A copy killed outright leaves its lock file behind; the next start takes it over at
// once and answers later starts in its turn.
TEST_F(SingleInstanceTest, LockOfAKilledCopyIsTakenOverAtOnce)
{
    const auto killed = Start(QStringLiteral("logging-in"));
    ASSERT_TRUE(killed->WaitForLine("ready loginDialog", kStartMs));
    killed->Kill();
    ASSERT_FALSE(killed->IsRunning());
    ASSERT_TRUE(QFileInfo::exists(LockFile())) << "the killed copy left its lock";

    const auto next = Start(QStringLiteral("logging-in"));
    ASSERT_TRUE(next->WaitForLine("ready loginDialog", kStartMs))
        << next->Output().constData() << next->Errors().constData();

    const auto later = Start(QStringLiteral("logging-in"));
    ASSERT_TRUE(later->WaitForEnd());
    EXPECT_TRUE(later->EndedNormallyWith(0));
    EXPECT_TRUE(next->WaitForLine("forward loginDialog")) << next->Output().constData();
    EXPECT_TRUE(next->EndRun());
}

TEST_F(SingleInstanceTest, CopiesUnderDifferentProgramNamesBothRun)
{
    const auto first = Start(QStringLiteral("logging-in"), QStringLiteral("halvorn"));
    const auto other = Start(QStringLiteral("logging-in"), QStringLiteral("halvorn-training"));
    EXPECT_TRUE(first->WaitForLine("ready loginDialog", kStartMs)) << first->Output().constData();
    EXPECT_TRUE(other->WaitForLine("ready loginDialog", kStartMs)) << other->Output().constData();
    EXPECT_TRUE(first->IsRunning());
    EXPECT_TRUE(other->IsRunning());
    EXPECT_TRUE(QFileInfo::exists(LockFile(QStringLiteral("halvorn"))));
    EXPECT_TRUE(QFileInfo::exists(LockFile(QStringLiteral("halvorn-training"))));
    EXPECT_TRUE(first->EndRun());
    EXPECT_TRUE(other->EndRun());
}
} // namespace
