// Runs part of a test as the unprivileged user "nobody", for the cases that
// root cannot see: root reads and writes every file whatever its permission
// bits say, and the tests run as root.
//
// The test executable is copied into a temporary folder that nobody can
// reach, and started again there under setpriv with the name of a case and
// a work folder. The test's main (SENTROVA_TEST_MAIN_WITH_CHILD_CASES) runs
// that case instead of the test functions: a function the test file defines,
//   int runChildCase(const QString &name, const QString &dir);
// which returns 0 when everything held, and otherwise prints what failed to
// standard error and returns another number.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

int runChildCase(const QString &name, const QString &dir);

namespace Unprivileged {

inline constexpr char Switch[] = "--run-child-case";

// A work folder that the unprivileged child can reach, with a copy of the
// test executable beside it.
class Sandbox
{
public:
    Sandbox()
    {
        if (!m_root.isValid())
            return;
        QFile::setPermissions(m_root.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                 QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                 QFile::ExeOther);
        m_program = m_root.filePath(QStringLiteral("child"));
        if (!QFile::copy(QCoreApplication::applicationFilePath(), m_program))
            m_program.clear();
        QDir().mkpath(work());
        // Everybody may create files in the work folder (no sticky bit, so
        // the child may also rename files that root put there).
        ::chmod(QFile::encodeName(work()).constData(), 0777);
    }
    bool isValid() const { return m_root.isValid() && !m_program.isEmpty(); }
    // The folder the child works in: writable by everybody.
    QString work() const { return m_root.filePath(QStringLiteral("work")); }
    QString filePath(const QString &name) const { return QDir(work()).filePath(name); }

    // Runs the case as nobody (or as the current user when that is not
    // root); true when it returned 0. `output` gets its standard error.
    bool run(const QString &name, QString *output, const QString &dir = QString()) const
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QStringList caseArgs{QString::fromLatin1(Switch), name, dir.isEmpty() ? work() : dir};
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty()) {
                *output = QStringLiteral("setpriv is not installed (package util-linux)");
                return false;
            }
            p.start(setpriv, QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                         QStringLiteral("--clear-groups"), QStringLiteral("--")} +
                                 QStringList{m_program} + caseArgs);
        } else {
            p.start(m_program, caseArgs);
        }
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            *output = QStringLiteral("the child case did not end within 60 s\n") + QString::fromLocal8Bit(p.readAll());
            return false;
        }
        *output = QString::fromLocal8Bit(p.readAll());
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private:
    QTemporaryDir m_root;
    QString m_program;
};

// A check inside a child case: prints the failed condition and returns 1.
#define CHILD_CHECK(cond)                                                                                          \
    do {                                                                                                           \
        if (!(cond)) {                                                                                             \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond);                               \
            return 1;                                                                                              \
        }                                                                                                          \
    } while (0)
#define CHILD_CHECK2(cond, text)                                                                                   \
    do {                                                                                                           \
        if (!(cond)) {                                                                                             \
            std::fprintf(stderr, "%s:%d: failed: %s (%s)\n", __FILE__, __LINE__, #cond, qPrintable(text));        \
            return 1;                                                                                              \
        }                                                                                                          \
    } while (0)

} // namespace Unprivileged

// Runs a child case and fails the test with its output when it failed.
#define RUN_AS_NOBODY(sandbox, name)                                                                               \
    do {                                                                                                           \
        QString childOutput_;                                                                                      \
        QVERIFY2((sandbox).run(QStringLiteral(name), &childOutput_), qPrintable(childOutput_));                    \
    } while (0)

// The test's main: a child case when started with the switch, else the
// test functions.
#define SENTROVA_TEST_MAIN_WITH_CHILD_CASES(TestObject)                                                            \
    int main(int argc, char *argv[])                                                                               \
    {                                                                                                              \
        if (argc == 4 && std::strcmp(argv[1], Unprivileged::Switch) == 0) {                                        \
            QCoreApplication app(argc, argv);                                                                      \
            return runChildCase(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));                 \
        }                                                                                                          \
        QCoreApplication app(argc, argv);                                                                          \
        TestObject tc;                                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                                      \
    }
