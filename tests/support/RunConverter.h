#pragma once

#include <QList>
#include <QProcess>
#include <QStringList>
#include <functional>
#include <memory>
#include <unistd.h>
#include <vector>

// kelviq-convert as a user runs it.
namespace testfiles {

struct ConverterOutcome
{
    int exitCode = -1; // -1 when it crashed or hung
    QByteArray out;
    QByteArray err;
};

// Runs the converter in folder with these exact argument bytes (names need not be valid UTF-8)
// and the system's reasons in English. inChild runs in the new process just before the converter
// starts; standardInput comes to it through a pipe.
inline ConverterOutcome runConverterBytes(const QString& folder, const QList<QByteArray>& arguments,
                                          const std::function<void()>& inChild = {},
                                          const QByteArray& standardInput = {})
{
    // Everything the child needs is made here: after fork it only calls execv.
    auto bytes = std::make_shared<QList<QByteArray>>(arguments);
    bytes->prepend(KELVIQ_CONVERT_EXE);
    auto argv = std::make_shared<std::vector<char*>>();
    for (QByteArray& argument : *bytes)
        argv->push_back(argument.data());
    argv->push_back(nullptr);

    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    process.setProcessEnvironment(environment);
    process.setChildProcessModifier([inChild, bytes, argv] {
        if (inChild)
            inChild();
        ::execv(argv->front(), argv->data());
        ::_exit(127);
    });
    process.start(QStringLiteral(KELVIQ_CONVERT_EXE), {});
    process.write(standardInput);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    ConverterOutcome outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

inline ConverterOutcome runConverter(const QString& folder, const QStringList& arguments,
                                     const std::function<void()>& inChild = {},
                                     const QByteArray& standardInput = {})
{
    QList<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.append(argument.toUtf8());
    return runConverterBytes(folder, bytes, inChild, standardInput);
}

} // namespace testfiles
