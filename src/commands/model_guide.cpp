#include "commands/model_guide.h"

#include "core/fast_sweep.h"
#include "core/message_sink.h"
#include "render/picture_files.h"

namespace lozengia {

const char* const kModelsPaper =
    "A. Borodin, V. Gorin, E. M. Rains, \"q-Distributions on boxed plane partitions\", "
    "Selecta Mathematica (New Series) 16 (2010)";

namespace {

struct Parameter {
  const char* name;     // as the "New" dialog labels it
  const char* meaning;  // what it does to the measure
  const char* range;    // the check's rule
  const char* first;    // a good first value on the guide's hexagon
};

struct Guide {
  ModelKind kind;
  const char* measure;
  Parameter parameters[2];
  // The first values as typed: q, kappa/i, log_q(kappa) or K, alpha, beta.
  const char *q, *kappa, *logq_or_K, *alpha, *beta;
};

// In the order of the dialog's list, with the simplest model first.
const Guide kGuides[] = {
    {kHahn,
     "Every tiling is equally likely: the uniform measure. Its large samples show the "
     "&quot;arctic circle&quot;: frozen corners of one lozenge type around a disordered middle.",
     {},
     "", "", "", "", ""},
    {kQHahn,
     "A tiling's probability is proportional to q<sup>vol</sup>, where vol is the number of "
     "boxes of the 3d Young diagram it shows (the sum of the exported plane partition).",
     {{"q", "q &lt; 1 favours few boxes, q &gt; 1 many; the further from 1, the more the tiling "
            "freezes into the emptiest (or fullest) box",
       "a positive number other than 1", "0.98 (for larger hexagons, closer to 1: about 1 - 1/N)"}},
     "0.98", "", "", "", ""},
    {kRacah,
     "Each lozenge of the third kind (one crossed by no path, the hexagon's colour showing "
     "through) at height g of time slice t has the weight y + K, with its centred height "
     "y = g + 1/2 - (t + S)/2; a tiling's probability is proportional to the product of these "
     "weights.",
     {{"K", "far from the hexagon (|K| large) the measure is close to uniform; near the "
            "forbidden interval it pulls the tiling strongly to one side",
       "a number below -N or at least T/2, so that every weight has the same sign",
       "60 (a little above T/2)"}},
     "", "", "60", "", ""},
    {kTrigonometric,
     "As Racah, with the weight sin(alpha*y + beta) of each lozenge of the third kind at "
     "centred height y.",
     {{"alpha", "how fast the weight changes with the height", "a number other than 0",
       "0.03 (about 3/(N + T/2))"},
      {"beta", "where the weights start",
       "with alpha, both -alpha*T/2+beta and alpha*N+beta in one interval [k*pi, (k+1)*pi], so "
       "that the weights keep one sign",
       "1.6 (alpha*T/2 + 0.1)"}},
     "", "", "", "0.03", "1.6"},
    {kRealQRacah,
     "As Racah, with the weight q<sup>-y</sup> - kappa<sup>2</sup> q<sup>y</sup> of each lozenge "
     "of the third kind at centred height y, where kappa = q<sup>log_q(kappa)</sup> is real.",
     {{"q", "as in q-Hahn: the further from 1, the stronger", "a positive number other than 1",
       "0.98"},
      {"log_q(kappa)", "the size of kappa; near the forbidden interval the pull is strongest",
       "a number below -N or above T/2", "60"}},
     "0.98", "", "60", "", ""},
    {kImaginaryQRacah,
     "As Real q-Racah with kappa imaginary: the weight q<sup>-y</sup> + (kappa/i)<sup>2</sup> "
     "q<sup>y</sup> of each lozenge of the third kind at centred height y.",
     {{"q", "as in q-Hahn", "a positive number other than 1", "0.95"},
      {"kappa/i", "kappa divided by i, a real number", "a number other than 0", "2"}},
     "0.95", "2", "", "", ""},
};

const Guide* guide_of(ModelKind kind) {
  for (const Guide& g : kGuides)
    if (g.kind == kind) return &g;
  return nullptr;
}

}  // namespace

NewHexagonInput guide_example(ModelKind kind) {
  NewHexagonInput in;
  in.kind = kind;
  in.N = std::to_string(kGuideN);
  in.T = std::to_string(kGuideT);
  in.S = std::to_string(kGuideS);
  if (const Guide* g = guide_of(kind)) {
    in.q = g->q;
    in.kappa = g->kappa;
    in.logq_or_K = g->logq_or_K;
    in.alpha = g->alpha;
    in.beta = g->beta;
  }
  return in;
}

std::string models_page_html() {
  std::string h =
      "<h2>The six models</h2>"
      "<p>Each model is a probability measure on the lozenge tilings of the hexagon with sides "
      "N, T-S and S. Choose one with <b>New hexagon</b>; <b>S-&gt;S+1 steps</b> applied S times "
      "from S = 0 then give an exact sample of it, and every later S-&gt;S+1 or S-&gt;S-1 step "
      "keeps the tiling distributed by the model. The first values below are for N = " +
      std::to_string(kGuideN) + ", T = " + std::to_string(kGuideT) + " (a " +
      std::to_string(kGuideN) + " x " + std::to_string(kGuideT - kGuideS) + " x " +
      std::to_string(kGuideS) + " hexagon); each picture is a sample with them.</p>";
  for (const Guide& g : kGuides) {
    h += "<hr><table cellspacing=\"8\"><tr><td valign=\"top\"><img src=\"sample:" +
         std::to_string(g.kind) + "\"></td><td valign=\"top\"><h3>" +
         std::string(kModelNames[g.kind]) + "</h3><p>" + g.measure + "</p>";
    if (!g.parameters[0].name) {
      h += "<p>No parameters.</p>";
    } else {
      h += "<table border=\"1\" cellpadding=\"3\" cellspacing=\"0\"><tr><th>field</th>"
           "<th>meaning</th><th>allowed</th><th>first value</th></tr>";
      for (const Parameter& p : g.parameters) {
        if (!p.name) continue;
        h += std::string("<tr><td>") + p.name + "=</td><td>" + p.meaning + "</td><td>" +
             p.range + "</td><td>" + p.first + "</td></tr>";
      }
      h += "</table>";
    }
    h += "</td></tr></table>";
  }
  h += "<hr><p>N, T and S: integers, N and T at least 1, S from 0 to T. The models and the "
       "Markov operators that change S by one are those of " +
       std::string(kModelsPaper) + ".</p>";
  return h;
}

QImage guide_picture(ModelKind kind, const LozengeColors& colors, int size_px) {
  const NewHexagonResult r = check_new_hexagon(guide_example(kind));
  if (!r.ok) return {};
  PathArray paths(r.params.N, r.params.T);
  NullSink sink;
  exact_sample_streams(r.params, paths, 1000 + kind, 1, sink);
  // Drawn at twice the size and scaled down smoothly: lozenges of about two
  // pixels are read as their colours' mixture, not as noise.
  const Tiling tiling{paths, r.params.N, r.params.T, r.params.S};
  const QImage big = render_tiling_image(tiling, {kStyleNoBorders, colors},
                                         whole_picture(tiling, kStyleNoBorders, 2 * size_px));
  return big.scaled(big.width() / 2, big.height() / 2, Qt::IgnoreAspectRatio,
                    Qt::SmoothTransformation);
}

}  // namespace lozengia
