#pragma once
// Why a file is not an experiment file, in the window's language.
#include <QString>

#include "files/experiment_scan.h"

namespace dravmer::ui {

QString WordFileProblem(const SExperimentFileProblem& problem);

}  // namespace dravmer::ui
