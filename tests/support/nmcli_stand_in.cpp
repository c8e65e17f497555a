#include "support/nmcli_stand_in.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kov::test {

namespace {

// Terse output escapes ':' and '\' in names as nmcli does.
constexpr const char* kScript = R"SH(#!/bin/bash
state="$(dirname "$0")/state"
mode=$(cat "$state/mode")
esc() { sed -e 's/\\/\\\\/g' -e 's/:/\\:/g'; }
while [ "${1#-}" != "$1" ]; do
  case "$1" in --wait|-w|-f|--fields) shift 2 ;; *) shift ;; esac
done
if [ "$1 $2" = "connection show" ]; then
  if [ "$3" = "--active" ]; then
    echo active >>"$state/calls"
    [ "$mode" = hang-show ] && exec sleep 30
    for f in "$state"/active/*; do [ -e "$f" ] && printf '%s:activated\n' "$(basename "$f" | esc)"; done
  else
    echo show >>"$state/calls"
    [ "$mode" = hang-show ] && exec sleep 30
    esc <"$state/profiles"
  fi
  exit 0
fi
if [ "$1 $2 $3" = "connection up id" ]; then
  echo "up $4" >>"$state/calls"
  case "$mode" in
    hang) exec sleep 30 ;;
    slow) sleep 1 ;;
    fail) echo "Error: Connection activation failed: no carrier" >&2; exit 4 ;;
  esac
  grep -qxF -- "$4" "$state/profiles" || { echo "Error: unknown connection '$4'." >&2; exit 10; }
  touch "$state/active/$4"; exit 0
fi
if [ "$1 $2 $3" = "connection down id" ]; then
  echo "down $4" >>"$state/calls"
  rm -f "$state/active/$4"; exit 0
fi
echo "Error: unexpected arguments: $*" >&2
exit 2
)SH";

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::trunc) << text;
}

}  // namespace

NmcliStandIn::NmcliStandIn(std::vector<std::string> profiles) {
    const std::string state = m_dir.File("state");
    ::mkdir(state.c_str(), 0700);
    ::mkdir((state + "/active").c_str(), 0700);
    std::string list;
    for (const std::string& p : profiles)
        list += p + "\n";
    Write(state + "/profiles", list);
    Write(state + "/calls", "");
    SetMode("ok");
    Write(m_dir.File("nmcli"), kScript);
    ::chmod(m_dir.File("nmcli").c_str(), 0755);
    const char* path = std::getenv("PATH");
    ::setenv("PATH", (m_dir.path() + ":" + (path ? path : "/usr/bin:/bin")).c_str(), 1);
}

void NmcliStandIn::SetMode(const std::string& mode) {
    Write(m_dir.File("state/mode"), mode + "\n");
}

void NmcliStandIn::SetActive(const std::string& profile, bool active) {
    const std::string file = m_dir.File("state/active/" + profile);
    if (active) {
        Write(file, "");
    } else {
        std::remove(file.c_str());
    }
}

std::vector<std::string> NmcliStandIn::Calls() const {
    std::vector<std::string> calls;
    std::istringstream in(m_dir.Read("state/calls"));
    for (std::string line; std::getline(in, line);)
        calls.push_back(line);
    return calls;
}

int NmcliStandIn::Count(const std::string& call) const {
    const auto calls = Calls();
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace kov::test
