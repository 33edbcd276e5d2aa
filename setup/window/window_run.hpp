// One window-mode run on a given window layer: the worker, the splash, the
// main window and the web view, the loop, and the exit decision.
#pragma once

#include "platform/path.hpp"
#include "platform/window.hpp"
#include "setup/window/user_data_folder.hpp"
#include "setup/window/window_host.hpp"
#include "setup/window/window_worker.hpp"

namespace setup {

struct WindowRunSetup {
  platform::Path install_dir;
  JobRunner job_runner;
  // The web view's data folder, removed when the loop has ended.
  platform::Path user_data_dir;
  PageSource page_source;
  FolderRemoval folder_removal = system_folder_removal();
};

struct WindowRunEnd {
  int exit_code = 1;
  // The worker is still busy with a cancelled job: the process must end now,
  // with exit_code, without waiting for it (the worker was let go).
  bool at_once = false;
};

// From the worker's start to the exit decision, with the install folder
// already found and the setup mutex already claimed. The final box, when
// there is one, has been shown when this returns.
WindowRunEnd run_window_host(platform::WindowLayer& layer, WindowRunSetup setup);

}  // namespace setup
