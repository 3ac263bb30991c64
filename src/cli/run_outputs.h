// The outputs of a lozengia-cli run: the plane partition export, written
// sample by sample as it is made, and the pictures, one per sample. Every one goes through the
// project's file writer (render/output_file.h).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "cli/cli_options.h"
#include "render/color_config.h"
#include "render/output_file.h"

namespace lozengia {

class RunOutputs {
 public:
  // Pictures use the colours of config.cfg when it is there; the export goes
  // to standard output when nothing else is asked for.
  explicit RunOutputs(const CliOptions& o);

  // Checks every output and opens the export (and the pictures' streams),
  // before anything is sampled, so that a folder, a missing folder, a file
  // that may not be written or one that could only be written in place
  // without a copy of its old content is told at once. Each method returns
  // the message for the user, empty when all went well.
  std::string open();
  // Why an SVG picture asked for would be too large to write (empty when it
  // is not): told before anything is sampled, as bad input.
  std::string svg_refusal() const;
  // Both of the above, in that order: 0 when the run may go on, else the
  // exit status (1: an output could not be opened, 2: the SVG would be too
  // large), its line written to `err`.
  int open_or_refuse(std::ostream& err);
  // Sample `index`: its text is written to the export as it is made, row
  // by row (neither its matrix nor its text is ever held whole), then its
  // pictures.
  std::string add(int64_t index, const PathArray& result);
  // The export ends: a temporary file replaces its target.
  std::string commit();

 private:
  // The message for a failure of the output named `name`.
  std::string failure(const WriteStatus& status, const std::string& name) const;

  const CliOptions& o_;
  WriteOptions write_options_;
  bool to_export_ = false;
  std::string export_path_;
  ColorConfig colors_;
  StyleNumber style_ = kStyleBorders;
  ReplacingFile export_;
  // A picture target that is a stream (a pipe, a terminal, a device) is
  // opened once: its reader sees the pictures one after another.
  HeldStream picture_streams_[2];
};

}  // namespace lozengia
