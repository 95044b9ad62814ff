// Why a file is not an experiment file, in the Russian window.
#include "file_problem_text.h"
#include "ui_test_env.h"

namespace dravmer::ui {
namespace {

TEST(FileProblemText, EveryFaultHasItsRussianSentence) {
    test::App();
    test::ExpectEveryFileProblemWorded(true);
}

}  // namespace
}  // namespace dravmer::ui
