#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vistrel {

// The exit status of a command line that was not understood.
constexpr int kExitUsage = 2;

// What the command line asks for. It only chooses things for this run: the configuration is read
// at start-up as always, and nothing here is written to it.
struct CommandLine
{
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };

    Action action = Action::Run;
    QString text;                     // the help or version text, or why the command line was refused
    std::optional<QString> simulate;  // device list, as VISTREL_SIMULATOR takes it
    std::optional<QString> simulatorImage;
    std::optional<QString> saveFolder; // absolute
};

// Reads the arguments (the program's name first). Understands Qt's own options too, which the
// toolkit takes out of the command line later. Needs no application object.
CommandLine ParseCommandLine(const QStringList& arguments);

// The simulator's choices go where the capture backend looks for them: the environment.
void ApplySimulatorOptions(const CommandLine& commandLine);

} // namespace vistrel
