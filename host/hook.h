#pragma once
// Hook chains: 256 numbered chains of callbacks, each ordered by priority (highest first, equal
// priorities in the order they were attached). Running a chain threads one data object through
// every callback in turn. Ids are handed out by NewHookId; the registry is process-wide.

#include <cstdint>

#include "runtime/object.h"

// A chain callback: gets (hook id, data, context) and returns the data for the next callback.
using HookFunction = ObjectRef (*)(int32_t id, const ObjectRef& data, const ObjectRef& context);

inline constexpr int32_t kHookIdCount = 256;

// The next free hook id, 0..255; the 257th call raises "Too many hook ids".
int32_t NewHookId();
// Adds func to chain id behind every callback of greater or equal priority.
void AttachHook(int32_t id, HookFunction func, const ObjectRef& context, int32_t priority);
// Removes the first callback of chain id with this func and context; no match, no change.
void DetachHook(int32_t id, HookFunction func, const ObjectRef& context);
// Runs chain id on data and returns what the last callback returned (data itself when empty).
ObjectRef RunHookChain(int32_t id, ObjectRef data);
