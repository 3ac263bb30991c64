// What the user types in the "New" dialog, its checks, and the stored form of
// an accepted model. The desktop dialog and the command-line tool both use it.
#pragma once

#include <cstdint>
#include <string>

#include "core/hexagon.h"

namespace lozengia {

// The dialog's fields as text, by the role of their control.
struct NewHexagonInput {
  int32_t kind = kHahn;   // selection of the model list (1..6)
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
  std::string message;   // "Bad Input" or a composed interval message when !ok
  HexagonParams params;  // the stored form when ok
};

// Checks every field in the dialog's order (the first failure wins) and
// converts the accepted values to the stored form: q stored as entered for
// q-Hahn and as 1/q otherwise; K as entered for Racah, kappa^2 for Imaginary
// q-Racah, -(q^(2L)) for Real q-Racah, 0 otherwise.
NewHexagonResult check_new_hexagon(const NewHexagonInput& in);

// The fields as the dialog shows them for the current state: stored forms
// converted back to what the user entered.
NewHexagonInput new_dialog_prefill(const HexagonParams& current);

// Enabled parameter fields for a model kind (the rest are greyed).
struct EnabledFields {
  bool q = false, kappa = false, logq_or_K = false, alpha = false, beta = false;
};
EnabledFields fields_enabled_for(int32_t kind);

// Strict readers for typed numbers: surrounding blanks allowed, nothing else
// around the number. Integers must fit in 32 bits; reals must be finite
// decimals (an exponent with e, E, d or D is accepted; "nan", "inf" and hex are
// not).
bool parse_int32(const std::string& text, int32_t& out);
bool parse_real(const std::string& text, double& out);

// A real as the dialog and the report show it: up to 15 significant digits, so
// that a value the user typed comes back as typed.
std::string display_real(double v);

// The parameter report line for the current state.
std::string parameter_report(const int32_t& N, const int32_t& T, const int32_t& S, const int32_t& kind,
                      const double& q, const double& K, const double& alpha, const double& beta);
inline std::string parameter_report(const HexagonParams& p) {
  return parameter_report(p.N, p.T, p.S, p.model.kind, p.model.q, p.model.K, p.model.alpha, p.model.beta);
}

// Names of the models as the "New" dialog lists them, index = kind (0 unused).
extern const char* const kModelNames[7];

}  // namespace lozengia
