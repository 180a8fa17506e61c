// The version record of the platform check and the three predicates that read it.
#pragma once

#include "platform/win32/win32.h"

class WindowsVersion {
 public:
  WindowsVersion();  // every field 0
  virtual ~WindowsVersion() = default;

  // Sets the record's size to 148 and asks the system to fill it. The outcome is not
  // examined: after a failed query every other field stays 0 (platform 0), which no
  // predicate refuses.
  void Query();

  // Only the platform and the minor version count; the major version and the build do not.
  bool IsWindows95() const;  // platform 1, minor 0
  bool IsWindows98() const;  // platform 1, minor 10
  bool IsWindowsMe() const;  // platform 1, minor 90

  OSVERSIONINFOA Info;
};
