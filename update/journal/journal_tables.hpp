// The JSON tables of the swap journal's records: their type names in the
// reader's messages and their fields in declared order, which is also the
// order of the array form and of the written file.
#pragma once

#include <array>
#include <string_view>

#include "update/journal/swap_journal.hpp"
#include "update/json/json_codec.hpp"

namespace update::json {

template <>
struct Variants<SwapKind> {
  static constexpr std::array<std::string_view, 2> names = {"apply", "rollback"};
};

template <>
struct Variants<SwapStep> {
  static constexpr std::array<std::string_view, 4> names = {"begun", "companions_moved", "moved_aside",
                                                            "moved_in"};
};

template <>
struct Table<Companion> {
  static constexpr std::string_view name = "Companion";
  static constexpr std::array fields = {
      field<&Companion::target>("target"),
      field<&Companion::aside>("aside"),
      field<&Companion::incoming>("incoming"),
      field<&Companion::park>("park"),
  };
};

template <>
struct Table<SwapJournal> {
  static constexpr std::string_view name = "SwapJournal";
  static constexpr std::array fields = {
      field<&SwapJournal::kind>("kind"),
      field<&SwapJournal::version>("version"),
      field<&SwapJournal::previous_version>("previous_version"),
      field<&SwapJournal::target>("target"),
      field<&SwapJournal::aside>("aside"),
      field<&SwapJournal::incoming>("incoming"),
      field<&SwapJournal::park>("park"),
      defaulted_field<&SwapJournal::companions>("companions"),
      field<&SwapJournal::step>("step"),
      field<&SwapJournal::exe_dir>("exe_dir"),
      field<&SwapJournal::updates_dir>("updates_dir"),
      field<&SwapJournal::written_at_ms>("written_at_ms"),
  };
};

}  // namespace update::json
