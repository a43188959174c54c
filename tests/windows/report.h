// The check kit's report: each test program adds to report\summary.txt what it found on the
// Windows it ran on. Off unless NUPORAKU_REPORT names the report's folder (check.cmd sets it).
#pragma once

#include <string>

namespace report {

// The report's folder with a trailing backslash, or empty when no report is being made.
std::wstring folder();

// A figure measured by the running test: kept in the test's XML result and, when a report is
// being made, as a line of the summary.
void figure(const std::string& name, const std::string& value);

}  // namespace report
