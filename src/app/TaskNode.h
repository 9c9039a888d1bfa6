// One row of the task list: the task it shows and its place in the tree.
#pragma once

#include <memory>
#include <vector>

struct TaskInfo;

// The list is flat, but held in a general tree so that the item model's parent/child rules apply
// unchanged. The task is the engine's record, not owned; the node is removed right after the engine
// destroyed it.
class TaskNode {
public:
    explicit TaskNode(TaskInfo* task = nullptr, TaskNode* parent = nullptr) : task(task), parent(parent) {}

    // Inserts a child for `task` at `row` (0 to the number of children); false and nothing inserted
    // when `row` is outside that range.
    bool insertChild(int row, TaskInfo* task);
    // Destroys the child at `row` and closes the gap; false when there is none.
    bool removeChild(int row);
    // The position of `child` among the children, -1 when it is not one of them.
    int rowOf(const TaskNode* child) const;

    std::vector<std::unique_ptr<TaskNode>> children;
    TaskInfo* task;
    TaskNode* parent;
};
