#pragma once

#include <string>
#include <vector>

namespace pictavo::worker {

// Leaves this process nothing but the descriptors it already holds: no new
// privileges, no file-system access (Landlock), a seccomp filter on every
// thread against opening by path, sockets, starting programs, reading other
// processes, namespaces and kernel interfaces a decoder never needs, and an
// address-space limit. Libraries must have loaded what they need from files
// before. Returns what could not be applied, one sentence each (empty when
// fully confined); what could be applied stays applied.
std::vector<std::string> confine();

}  // namespace pictavo::worker
