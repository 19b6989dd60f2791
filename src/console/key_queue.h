// Key codes decoded but not yet handed out: the rest of a two-code key, a key that followed
// Escape, a key the keyboard repeated. Shared by the terminal backends.
#pragma once

struct KeyQueue {
    static constexpr int Size = 64;
    int codes[Size] = {};
    int head = 0;
    int count = 0;
};

// Puts `n` codes in, all of them or none, so that a full queue never splits a key.
inline bool pushKeys(KeyQueue& queue, const int* codes, int n) {
    if (queue.count + n > KeyQueue::Size) {
        return false;
    }
    for (int i = 0; i < n; ++i) {
        queue.codes[(queue.head + queue.count) % KeyQueue::Size] = codes[i];
        ++queue.count;
    }
    return true;
}

// The oldest code; the queue must not be empty.
inline int popKey(KeyQueue& queue) {
    const int key = queue.codes[queue.head];
    queue.head = (queue.head + 1) % KeyQueue::Size;
    --queue.count;
    return key;
}
