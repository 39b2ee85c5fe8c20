// Program start before the main window exists: the data-file checks, the
// hand-over to a running instance, then the main window.
#pragma once

#include <memory>
#include <optional>

#include "main_window.h"
#include "single_instance.h"

namespace vesko::lite {

struct Startup {
    // Set when the program ends before any window: -1 for a missing
    // FORMAT.INI, 1 after handing the arguments to a running instance.
    std::optional<int> exitCode;
    std::unique_ptr<SingleInstance> instance;
    std::unique_ptr<MainWindow> window;
};

// `instanceKey`: the single-instance socket name (SingleInstance::keyFor).
Startup startVeskoLite(const StartOptions& options, const QString& instanceKey, Prompter& prompter);

// Command-line arguments made absolute against the current folder, which is
// read here and never changed.
QStringList absoluteArguments(const QStringList& arguments);

}  // namespace vesko::lite
