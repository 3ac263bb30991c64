// "Show tiling" (the style dialog and, on request, a new picture window), the
// drawing of the current tiling into the picture window, and the plane
// partition export.
#pragma once

namespace lozengia {

class Program;

class PictureCommands {
 public:
  explicit PictureCommands(Program& program) : program_(program) {}

  void show_tiling();  // GUI thread
  // The current configuration in the picture window (any thread).
  void draw(int unit);
  void export_to_file();  // GUI thread: the plane partition

 private:
  Program& program_;
};

}  // namespace lozengia
