// A fresh folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

#include "platform/path.hpp"

namespace testkit {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const platform::Path& path() const { return path_; }
  // A path in the folder; the name is UTF-8 text.
  platform::Path operator/(const std::string& name) const;

 private:
  platform::Path path_;
};

}  // namespace testkit
