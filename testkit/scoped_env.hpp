// Sets or unsets one environment variable of the test process for a scope
// and puts back what was there before. Child processes started meanwhile
// inherit the change.
#pragma once

#include <optional>
#include <string>

namespace testkit {

// Sets the variable (nothing: removes it).
void set_env(const std::string& name, const std::optional<std::string>& value);

class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv() { set_env(name_, old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace testkit
