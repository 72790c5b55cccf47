#include "engine/split/SplitPlan.h"

namespace tolvane::split {

SplitPlan SplitPlan::Failed(PlanError error, std::string message, int line) {
    SplitPlan plan;
    plan.failure = {
        error, line,
        line > 0 ? "line " + std::to_string(line) + ": " + message : std::move(message)};
    return plan;
}

}  // namespace tolvane::split
