// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/ble/WriteBuffer.h"

#include <algorithm>

WriteBuffer::Result WriteBuffer::flush(const Write& write, qsizetype maxChunk) {
    qsizetype done = 0;
    Result result = Result::Drained;
    while (done < buffer_.size()) {
        const qsizetype chunk = std::min(buffer_.size() - done, maxChunk);
        const qsizetype n = write(buffer_.constData() + done, chunk);
        if (n <= 0) {
            result = n == 0 ? Result::WouldBlock : Result::Failed;
            break;
        }
        done += n;
    }
    buffer_.remove(0, done);
    return result;
}
