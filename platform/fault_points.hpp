// Injected faults at the points where the program makes its files durable:
// every write, flush to the device and rename done by platform/durable_file
// passes through fault_at() first. Tests arm a plan that makes the Nth such
// operation fail or stops the process right there (as kill -9 would), and
// then check what a crash or a full disk at that point leaves behind.
//
// The plan is process-wide on purpose: the points sit deep inside the store,
// far from any object a request carries, and the real server is driven
// through the environment variable FORMWICK_FAULT, read once at start-up.
// Unarmed, a point costs one relaxed atomic load and one increment.
#pragma once

#include <cstdint>
#include <string>

namespace fwk {

enum class FaultOp { write, sync, rename };

enum class FaultEffect {
  fail,   // the operation fails (errno EIO) and the program carries on
  stop,   // the process is killed (SIGKILL) before the operation
  trace,  // nothing is injected; every point is reported on standard error
};

struct FaultPlan {
  FaultOp op = FaultOp::write;
  uint64_t nth = 0;  // 1 for the first operation of kind `op`
  FaultEffect effect = FaultEffect::fail;
};

// "write:3:fail", "sync:1:stop", "rename:2:fail" or "trace". False when the
// text is none of these.
bool fault_plan_parse(const std::string& text, FaultPlan* plan);

// Arms the plan and starts counting from zero; disarming counts on but
// injects nothing.
void fault_plan_arm(const FaultPlan& plan);
void fault_plan_disarm();

// Arms the plan that FORMWICK_FAULT gives, when it is set. False (with the
// reason in `error`) when it is set but not a plan.
bool fault_plan_from_environment(std::string* error);

// Called before each durable operation on `path`. True when the operation
// must fail (errno is then EIO). With the effect stop it does not return.
// A point that injects something says so on standard error, with the
// operation, its number and the path.
bool fault_at(FaultOp op, const char* path);

// Operations of this kind seen since the last arm or disarm.
uint64_t fault_points_seen(FaultOp op);

}  // namespace fwk
