// Every mode is built now: the window mode is in setup/window/window_mode.cpp.
#include "setup/main/pending_modes.hpp"
