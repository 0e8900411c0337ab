#include "gui/main_window.h"

#include <gtest/gtest.h>

#include "core/services.h"
#include "gui/dialog_form.h"

namespace corvane::gui {
namespace {

TEST(MainWindow, StartsWithItsCaptionAndADialog) {
  NullServices services;
  Workbench wb(services);
  TMainForm window(wb);
  TDialogForm dialog(wb, &window);
  window.AttachDialog(&dialog);
  EXPECT_TRUE(window.windowTitle().startsWith("Corvane 2"));
  EXPECT_EQ(dialog.windowTitle(), "Settings");
}

}  // namespace
}  // namespace corvane::gui
