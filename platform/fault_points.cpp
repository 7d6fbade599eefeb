#include "platform/fault_points.hpp"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <unistd.h>

#include "platform/environment.hpp"

namespace fwk {

namespace {

constexpr const char* kFaultVariable = "FORMWICK_FAULT";
constexpr std::array<const char*, 3> kOpNames = {"write", "sync", "rename"};

// The armed plan, packed so that a point reads it with one load: 0 when
// nothing is armed, else the op, the effect and N.
std::atomic<uint64_t> armed_plan{0};
std::array<std::atomic<uint64_t>, 3> seen{};

uint64_t pack(const FaultPlan& plan) {
  return (plan.nth << 8) | (static_cast<uint64_t>(plan.effect) << 4) |
         (static_cast<uint64_t>(plan.op) << 1) | 1u;
}

FaultPlan unpack(uint64_t packed) {
  FaultPlan plan;
  plan.op = static_cast<FaultOp>((packed >> 1) & 7);
  plan.effect = static_cast<FaultEffect>((packed >> 4) & 15);
  plan.nth = packed >> 8;
  return plan;
}

size_t index_of(FaultOp op) {
  return static_cast<size_t>(op);
}

// One line on standard error, written in one call (the process may be
// killed right after it).
void report(const char* what, FaultOp op, uint64_t number, const char* path) {
  std::string line = std::string("fwkhttpd: fault point ") + what + " " + kOpNames[index_of(op)] +
                     " " + std::to_string(number) + " " + (path != nullptr ? path : "") + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

void reset_counts() {
  for (auto& count : seen) count.store(0, std::memory_order_relaxed);
}

}  // namespace

bool fault_plan_parse(const std::string& text, FaultPlan* plan) {
  if (text == "trace") {
    *plan = FaultPlan{FaultOp::write, 0, FaultEffect::trace};
    return true;
  }
  size_t first = text.find(':');
  size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos) return false;
  const std::string op = text.substr(0, first);
  const std::string number = text.substr(first + 1, second - first - 1);
  const std::string effect = text.substr(second + 1);
  FaultPlan parsed;
  size_t op_index = 0;
  while (op_index < kOpNames.size() && op != kOpNames[op_index]) ++op_index;
  if (op_index == kOpNames.size()) return false;
  parsed.op = static_cast<FaultOp>(op_index);
  if (number.empty() || number.size() > 12 || number.find_first_not_of("0123456789") != std::string::npos)
    return false;
  parsed.nth = std::strtoull(number.c_str(), nullptr, 10);
  if (parsed.nth == 0) return false;
  if (effect == "fail") {
    parsed.effect = FaultEffect::fail;
  } else if (effect == "stop") {
    parsed.effect = FaultEffect::stop;
  } else {
    return false;
  }
  *plan = parsed;
  return true;
}

void fault_plan_arm(const FaultPlan& plan) {
  reset_counts();
  armed_plan.store(pack(plan));
}

void fault_plan_disarm() {
  armed_plan.store(0);
  reset_counts();
}

bool fault_plan_from_environment(std::string* error) {
  std::optional<std::string> text = env_get(kFaultVariable);
  if (!text || text->empty()) return true;
  FaultPlan plan;
  if (!fault_plan_parse(*text, &plan)) {
    *error = std::string(kFaultVariable) + " is not a fault plan (op:N:fail|stop, or trace): " +
             *text;
    return false;
  }
  fault_plan_arm(plan);
  return true;
}

bool fault_at(FaultOp op, const char* path) {
  const uint64_t number = seen[index_of(op)].fetch_add(1, std::memory_order_relaxed) + 1;
  const uint64_t packed = armed_plan.load(std::memory_order_relaxed);
  if (packed == 0) return false;
  const FaultPlan plan = unpack(packed);
  if (plan.effect == FaultEffect::trace) {
    report("at", op, number, path);
    return false;
  }
  if (plan.op != op || plan.nth != number) return false;
  if (plan.effect == FaultEffect::stop) {
    report("stop", op, number, path);
    ::kill(::getpid(), SIGKILL);
    ::_exit(137);
  }
  report("fail", op, number, path);
  errno = EIO;
  return true;
}

uint64_t fault_points_seen(FaultOp op) {
  return seen[index_of(op)].load(std::memory_order_relaxed);
}

}  // namespace fwk
