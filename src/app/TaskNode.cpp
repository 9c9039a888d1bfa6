// Children of a task-list node.
#include "TaskNode.h"

#include <algorithm>

bool TaskNode::insertChild(int row, TaskInfo* childTask) {
    if (row < 0 || static_cast<std::size_t>(row) > children.size()) {
        return false;
    }
    children.insert(children.begin() + row, std::make_unique<TaskNode>(childTask, this));
    return true;
}

bool TaskNode::removeChild(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= children.size()) {
        return false;
    }
    children.erase(children.begin() + row);
    return true;
}

int TaskNode::rowOf(const TaskNode* child) const {
    const auto found = std::find_if(children.begin(), children.end(),
                                    [child](const auto& node) { return node.get() == child; });
    return found == children.end() ? -1 : static_cast<int>(found - children.begin());
}
