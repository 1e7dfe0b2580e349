#pragma once
// Turns the record into one dashboard view: the 45 field texts in the order they are
// written, the target-coin radio position, the auto-charge check and the caption.
// Runs after every mining step, so it only formats into the view's fixed buffers.
#include "core/dashboard_view.h"
#include "core/machine_state.h"

void RenderDashboard(const MachineState& s, DashboardView& view);
