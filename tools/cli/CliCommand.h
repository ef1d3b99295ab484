#pragma once

#include <QStringList>
#include <QTextStream>

#include <span>

// The commands of subtitle-station-cli. Each command parses its own
// arguments and reports through the two streams; the exit codes are shared.

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // the command ran and failed
inline constexpr int kExitUsage = 2;   // bad arguments

struct CliIo {
    QTextStream& out;
    QTextStream& err;
};

struct CliCommand {
    const char* name;
    const char* summary;
    // arguments holds what follows the command's name.
    int (*run)(const QStringList& arguments, CliIo& io);
};

// Every command, in the order the usage lists them.
std::span<const CliCommand> CliCommands();

// Runs the command named by the first argument after the program name.
int RunCli(const QStringList& arguments, CliIo& io);

int RunRenderCommand(const QStringList& arguments, CliIo& io);
int RunSendCommand(const QStringList& arguments, CliIo& io);
int RunLinesCommand(const QStringList& arguments, CliIo& io);
int RunSearchCommand(const QStringList& arguments, CliIo& io);
int RunReadbackCommand(const QStringList& arguments, CliIo& io);
int RunParamsCommand(const QStringList& arguments, CliIo& io);
int RunShowParamsCommand(const QStringList& arguments, CliIo& io);
int RunOfflineCommand(const QStringList& arguments, CliIo& io);
int RunSendOfflineCommand(const QStringList& arguments, CliIo& io);
