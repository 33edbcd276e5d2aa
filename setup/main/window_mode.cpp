#include "setup/main/window_mode.hpp"

#include <cstdlib>

#include "setup/common/install_dir.hpp"
#include "setup/common/message_boxes.hpp"
#include "setup/common/sentences.hpp"
#include "setup/main/setup_mutex.hpp"
#include "setup/page/embedded_page.hpp"
#include "setup/window/window_run.hpp"

namespace setup {

int run_window_mode() {
  // The layer comes first, so that even the boxes of a refused start are
  // the desktop's own.
  const std::unique_ptr<platform::WindowLayer> layer = platform::open_window_layer();
  const std::string caption = failure_caption();
  if (!claim_setup_mutex()) {
    show_message_box(caption, already_running_text(), true);
    return 1;
  }
  auto install_dir = find_install_dir();
  if (!install_dir) {
    show_message_box(caption, install_dir.error(), true);
    return 1;
  }
  const WindowRunEnd end = run_window_host(*layer, {
                                                       .install_dir = *install_dir,
                                                       .job_runner = make_job_runner(*install_dir),
                                                       .user_data_dir = user_data_folder(),
                                                       .page_source = decode_embedded_page,
                                                   });
  // A cancelled run whose worker is still busy: nothing waits for it.
  if (end.at_once) std::_Exit(end.exit_code);
  return end.exit_code;
}

}  // namespace setup
