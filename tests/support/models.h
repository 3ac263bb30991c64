// Model parameters the way the program gets them: typed into the "New"
// dialog's fields as text and stored by its check, so that a test samples with
// what a user could really enter (q stored as 1/q, kappa squared, K = -q^(2L)).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/message_sink.h"
#include "core/params.h"

namespace lozengia::testing {

// The dialog's fields for a hexagon N x T x S of the given kind, the model's
// own fields left empty.
inline NewHexagonInput hexagon_input(ModelKind kind, const std::string& N = "3",
                                     const std::string& T = "6", const std::string& S = "2") {
  NewHexagonInput in;
  in.kind = kind;
  in.N = N;
  in.T = T;
  in.S = S;
  return in;
}

// The model's own fields, as typed.
struct ModelText {
  std::string q, kappa, logq_or_K, alpha, beta;
};

// The stored model of the hexagon N x T; the test fails (and says why) when
// the dialog refuses the text.
inline ModelParams entered_model(ModelKind kind, int32_t N, int32_t T, const ModelText& text,
                                 const std::string& what = "") {
  NewHexagonInput in = hexagon_input(kind, std::to_string(N), std::to_string(T), "0");
  in.q = text.q;
  in.kappa = text.kappa;
  in.logq_or_K = text.logq_or_K;
  in.alpha = text.alpha;
  in.beta = text.beta;
  const NewHexagonResult r = check_new_hexagon(in);
  EXPECT_TRUE(r.ok) << (what.empty() ? kModelNames[kind] : what) << " N=" << N << " T=" << T << ": "
                    << r.message;
  return r.params.model;
}

// One admissible model of every kind for the hexagon N x T, with q away from
// 1 and K and alpha chosen from the shape so that no weight changes sign.
inline std::vector<ModelParams> one_model_of_each_kind(int32_t N, int32_t T) {
  const double pi = 3.141592653589793;
  const double a = 0.8 * pi / (N + T / 2.0);
  return {
      entered_model(kImaginaryQRacah, N, T, {"0.97", "1.5", "", "", ""}),
      entered_model(kRealQRacah, N, T, {"1.02", "", format_real(T / 2.0 + 3), "", ""}),
      entered_model(kTrigonometric, N, T,
                    {"", "", "", format_real(a), format_real(a * T / 2 + 0.1)}),
      entered_model(kRacah, N, T, {"", "", format_real(T / 2.0 + 5), "", ""}),
      entered_model(kQHahn, N, T, {"0.98", "", "", "", ""}),
      entered_model(kHahn, N, T, {}),
  };
}

}  // namespace lozengia::testing
