// What the user types in the "New" dialog, its checks, and the stored form of
// an accepted model. The desktop dialog and the command-line tool both use it.
#pragma once

#include <cstdint>
#include <string>

#include "core/hexagon.h"

namespace lozengia {

// The dialog's fields as text, by the role of their control.
struct NewHexagonInput {
  ModelKind kind = kHahn;  // selection of the model list
  std::string N;          // 1002
  std::string T;          // 1003
  std::string S;          // 1004
  std::string q;          // 1005
  std::string kappa;      // 1008 "kappa/i="
  std::string logq_or_K;  // 1007 "log_q(kappa)=", or K for Racah
  std::string alpha;      // 1011
  std::string beta;       // 1009
};

struct NewHexagonResult {
  bool ok = false;
  // When !ok: "Bad Input" or the composed interval message, then on a line of
  // its own the field and the rule it breaks, with the numbers that bound it
  // ("Bad Input\nq: a positive number other than 1"). A hexagon too large for
  // this machine has a message of its own.
  std::string message;
  HexagonParams params;  // the stored form when ok
};

// The "New" dialog's fields, for the rules below.
enum class NewField { kN, kT, kS, kQ, kKappa, kLogqOrK, kAlpha, kBeta };

// The field's name as its label reads for the model `kind` ("K" for Racah's
// field 1007, "log_q(kappa)" otherwise) and the rule its value follows, the
// same words as the check's messages: "q: a positive number other than 1".
// The dialog's tooltips show them.
std::string field_name(NewField f, ModelKind kind);
std::string field_rule(NewField f, ModelKind kind);

// Checks every field in the dialog's order (the first failure wins) and
// converts the accepted values to the stored form: q stored as entered for
// q-Hahn and as 1/q otherwise; K as entered for Racah, kappa^2 for Imaginary
// q-Racah, -(q^(2L)) for Real q-Racah, 0 otherwise.
NewHexagonResult check_new_hexagon(const NewHexagonInput& in);

// The fields as the dialog shows them for the current state: stored forms
// converted back to what the user entered. A stored form that is not the
// typed value (1/q, kappa^2, -(q^(2L))) is shown as the shortest number that
// the check turns into exactly the stored value again, so the typed "80" comes
// back as "80" and OK on the same fields gives the same samples.
NewHexagonInput new_dialog_prefill(const HexagonParams& current);

// The model's parameters as the status bar and the picture titles show them,
// in the dialog's words and the pre-fill's numbers: "q=0.9 log_q(kappa)=80",
// "K=250"; empty for Hahn.
std::string model_values_text(const HexagonParams& p);

// Enabled parameter fields for a model kind (the rest are greyed).
struct EnabledFields {
  bool q = false, kappa = false, logq_or_K = false, alpha = false, beta = false;
};
EnabledFields enabled_fields(ModelKind kind);

// Strict readers for typed numbers: surrounding blanks allowed, nothing else
// around the number. Integers must fit in 32 bits; reals must be finite
// decimals (an exponent with e, E, d or D is accepted; "nan", "inf" and hex are
// not).
bool parse_int32(const std::string& text, int32_t& out);
bool parse_real(const std::string& text, double& out);

// A real as the dialog and the report show it: the shortest text that reads
// back as the same double, so that a value the user typed comes back as typed
// (80, not 80.0000000000002).
std::string display_real(double v);

// The parameter report line for the current state.
std::string parameter_report(const HexagonParams& p);

// Names of the models as the "New" dialog lists them, index = kind (0 unused).
extern const char* const kModelNames[7];
// Their short names, for window titles: "Hahn", "q-Hahn", "Racah", ...
extern const char* const kModelTitles[7];

}  // namespace lozengia
