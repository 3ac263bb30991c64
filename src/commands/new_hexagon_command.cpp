#include "commands/new_hexagon_command.h"

#include <string>
#include <utility>
#include <vector>

#include "commands/dialog_ids.h"
#include "commands/program.h"
#include "core/params.h"
#include "platform/dialog.h"
#include "platform/platform.h"
#include "platform/settings.h"

namespace lozengia {

namespace {

using namespace dialog_ids;

constexpr int kFields[] = {kN, kT, kS, kQ, kKappa, kLogqOrK, kAlpha, kBeta};

std::string rtrim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

}  // namespace

void NewHexagonCommand::enable_fields(Dialog& d, ModelKind kind) {
  const EnabledFields f = enabled_fields(kind);
  d.set_enabled(kQ, f.q);
  d.set_enabled(kKappa, f.kappa);
  d.set_enabled(kLogqOrK, f.logq_or_K);
  d.set_enabled(kAlpha, f.alpha);
  d.set_enabled(kBeta, f.beta);
  // The log_q(kappa) field holds Racah's K as well: its label says which it is now.
  d.set_label(kLogqOrK, field_name(NewField::kLogqOrK, kind) + "=");
  const std::pair<int, NewField> fields[] = {
      {kN, NewField::kN},        {kT, NewField::kT},         {kS, NewField::kS},
      {kQ, NewField::kQ},        {kKappa, NewField::kKappa}, {kLogqOrK, NewField::kLogqOrK},
      {kAlpha, NewField::kAlpha}, {kBeta, NewField::kBeta},
  };
  for (const auto& [id, field] : fields) d.set_tooltip(id, field_rule(field, kind));
}

ModelKind NewHexagonCommand::selected_kind(const Dialog& d) {
  return static_cast<ModelKind>(d.selection(kModel));
}

void NewHexagonCommand::model_changed(Dialog& d) { enable_fields(d, selected_kind(d)); }

NewHexagonInput NewHexagonCommand::typed_input(const Dialog& d) {
  NewHexagonInput in;
  in.kind = selected_kind(d);
  in.N = d.text(kN);
  in.T = d.text(kT);
  in.S = d.text(kS);
  in.q = d.text(kQ);
  in.kappa = d.text(kKappa);
  in.logq_or_K = d.text(kLogqOrK);
  in.alpha = d.text(kAlpha);
  in.beta = d.text(kBeta);
  return in;
}

void NewHexagonCommand::ok_pressed(Dialog& d) {
  const NewHexagonResult r = check_new_hexagon(typed_input(d));
  if (!r.ok) {
    program_.platform().dialogs().message_box(rtrim(r.message), "Error!");
    return;
  }
  std::string err;
  {
    SharedState& state = program_.state();
    std::lock_guard<std::mutex> lock(state.mutex);
    err = set_hexagon(state.hex, r.params);  // all at once, or not at all
    if (err.empty()) state.tiling_changed();
  }
  if (!err.empty()) {
    program_.platform().dialogs().message_box(rtrim(err), "Error!");
    return;
  }
  accepted_this_run_ = true;
  remember(d);
  d.close(kOk);
}

bool NewHexagonCommand::prefill_remembered(Dialog& d) {
  const Settings& s = program_.platform().settings();
  const std::optional<int> kind = s.integer(setting::kNewKind, 1, 6);
  if (!kind) return false;
  d.set_selection(kModel, *kind);
  for (int id : kFields)
    if (auto t = s.text(setting::new_field(id))) d.set_text(id, t->toStdString());
  return true;
}

void NewHexagonCommand::remember(Dialog& d) {
  Settings& s = program_.platform().settings();
  s.set(setting::kNewKind, d.selection(kModel));
  for (int id : kFields) s.set(setting::new_field(id), QString::fromStdString(d.text(id)));
}

void NewHexagonCommand::open() {
  Dialog d(kDialogNew, program_.platform().frame());
  if (!d.loaded()) return;
  const HexagonParams cur = program_.params();
  std::vector<std::string> names(kModelNames + 1, kModelNames + 7);
  d.set_items(kModel, names);
  d.set_selection(kModel, cur.model.kind);
  const NewHexagonInput pre = new_dialog_prefill(cur);
  d.set_text(kN, pre.N);
  d.set_text(kT, pre.T);
  d.set_text(kS, pre.S);
  d.set_text(kQ, pre.q);
  d.set_text(kKappa, pre.kappa);
  d.set_text(kLogqOrK, pre.logq_or_K);
  d.set_text(kAlpha, pre.alpha);
  d.set_text(kBeta, pre.beta);
  // Until a hexagon is made in this run, the dialog offers the last one made
  // in an earlier run; afterwards the present hexagon, as it stands.
  if (!accepted_this_run_) prefill_remembered(d);
  d.set_callback(kModel, [this](Dialog& dd, int) { model_changed(dd); });
  d.set_callback(kOk, [this](Dialog& dd, int) { ok_pressed(dd); });
  enable_fields(d, selected_kind(d));
  const bool made = d.run() == kOk;
  program_.write_report();
  if (made) {
    program_.publish_state();
    if (program_.platform().frame()->redraw_after_each_command())
      program_.draw_picture(kPictureUnit);
  }
}

}  // namespace lozengia
