// A lilv node made here and freed at the end of its scope.
#pragma once

#include <lilv/lilv.h>

namespace render {

struct Node {
  LilvNode* node;
  Node(LilvWorld* world, const char* uri) : node(lilv_new_uri(world, uri)) {}
  explicit Node(LilvNode* owned) : node(owned) {}
  ~Node() { lilv_node_free(node); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
};

}  // namespace render
