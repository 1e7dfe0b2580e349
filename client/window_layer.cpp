#include "client/window_layer.h"

void WindowLayer::ShowDashboard(const DashboardView& view) {
  for (int i = 0; i < kDashboardFieldsBeforeRadio; ++i) {
    SetControlText(view.fields[i].controlId, view.fields[i].text);
  }
  CheckRadio(kIdTargetKest, kIdTargetAll, view.targetCoinPosition);
  SetCheck(kIdAutoCharge, view.autoChargeCheck);
  for (int i = kDashboardFieldsBeforeRadio; i < kDashboardTextFields; ++i) {
    SetControlText(view.fields[i].controlId, view.fields[i].text);
  }
  SetControlText(kIdStartStop, view.caption);
}
