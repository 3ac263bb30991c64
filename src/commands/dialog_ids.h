// The dialog templates and their control ids, shared by the commands and the
// tests that drive the dialogs.
#pragma once

namespace lozengia::dialog_ids {

// Templates (resources/dialog1xx_*.ui).
constexpr int kDialogNew = 101;
constexpr int kDialogStyle = 102;
constexpr int kDialogSPlus = 103;
constexpr int kDialogSMinus = 104;
constexpr int kDialogLive = 105;

// Buttons.
constexpr int kOk = 1;
constexpr int kCancel = 2;        // New hexagon, S->S+1 steps, Live
constexpr int kCancelSMinus = 4;  // S->S-1 steps

// New hexagon.
constexpr int kModel = 1000;
constexpr int kN = 1002, kT = 1003, kS = 1004;
constexpr int kQ = 1005;
constexpr int kLogqOrK = 1007;  // log_q(kappa); K for Racah
constexpr int kKappa = 1008;
constexpr int kBeta = 1009;
constexpr int kAlpha = 1011;

// Picture style: the radio of style k is 1012 + k.
constexpr int kFirstStyle = 1013;
constexpr int kNewWindow = 1018;

// Step commands (N, T, S shown read-only in 1002..1004).
constexpr int kSteps = 1022;
constexpr int kSamples = 1023;

// Live mode.
constexpr int kTransition = 1000;
constexpr int kDelay = 1023;

}  // namespace lozengia::dialog_ids
