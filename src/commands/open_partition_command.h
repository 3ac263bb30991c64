// "Open plane partition..": a plane partition file read back (the first
// partition of the file), its hexagon taken from it and the model from the
// "New" dialog's fields, and the program's hexagon made that tiling, all at
// once; any fault is told with the file, line and column, and the tiling
// stays as it was. GUI thread.
#pragma once

#include <memory>
#include <string>

namespace lozengia {

class Program;
class Dialog;
class OpenPartitionHook;
struct ReadPartition;

class OpenPartitionCommand {
 public:
  explicit OpenPartitionCommand(Program& program);
  ~OpenPartitionCommand();
  // Adds the menu entry and the drop of a file on the main window.
  void install();
  OpenPartitionHook* hook() const { return hook_; }

  // Opens `path`: reads it, then asks for the model (N may be raised).
  void open_file(const std::string& path);

 private:
  void ok_pressed(Dialog& d, const std::string& path, ReadPartition& r);
  Program& program_;
  OpenPartitionHook* hook_ = nullptr;  // owned by the main window
};

}  // namespace lozengia
