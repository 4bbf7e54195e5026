#include "boundary/handshake.h"

#include "platform/env.h"

namespace tarn::boundary {
namespace {

// MathOperate's operation numbers.
enum Op : int32_t { kAdd = 0, kSub = 1, kMul = 2, kXor = 3, kRotl = 4 };

int32_t Low32(uintptr_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v & 0xFFFFFFFFu)); }
int32_t High32(uintptr_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32)); }
int32_t AsInt(uint32_t v) { return static_cast<int32_t>(v); }

}  // namespace

ProcessTriple CurrentProcessTriple() {
  Env& env = Env::Current();
  return ProcessTriple{env.ProcessId(), env.ProcessHandle(), env.ThreadId()};
}

int32_t ReplyHandshake(Sundry& s, const ProcessTriple& p) {
  int32_t h = s.MathOperate(AsInt(p.process_id), AsInt(p.thread_id), kXor);
  h = s.MathOperate(h, Low32(p.process_handle), kAdd);
  h = s.MathOperate(h, High32(p.process_handle), kXor);
  h = s.MathOperate(h, 13, kRotl);
  return s.MathOperate(h, AsInt(0x9E3779B1u), kMul);
}

int32_t ConnectStringHandshake(Sundry& s, const ProcessTriple& p) {
  int32_t h = s.MathOperate(AsInt(p.thread_id), Low32(p.process_handle), kSub);
  h = s.MathOperate(h, 7, kRotl);
  h = s.MathOperate(h, AsInt(p.process_id), kAdd);
  h = s.MathOperate(h, High32(p.process_handle), kAdd);
  return s.MathOperate(h, AsInt(0x85EBCA6Bu), kMul);
}

}  // namespace tarn::boundary
