// What the task control keeps between calls: whether a subsystem rule
// asked for strict subsystem locking. It reads the identity (who, where,
// which task id) and the system connection, and writes nothing else.
#ifndef TARN_CORE_TASK_CONTROL_H_
#define TARN_CORE_TASK_CONTROL_H_

namespace tarn::core {

struct TaskControl {
  bool StrictSubsystemLock = false;
};

}  // namespace tarn::core

#endif  // TARN_CORE_TASK_CONTROL_H_
