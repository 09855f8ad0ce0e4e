// IInDataStream: the input data stream face of a camera object (prepare,
// queue buffers, retrieve filled buffers, finish).
#pragma once

#include <cstdint>

namespace XCamera {

// What RetrieveBuffer hands back. For every result the out buffer and
// context are those of the buffer record the transport returned (null and 0
// when it returned none).
enum ERetrieveResult : int32_t {
    RetrieveFilled = 0,     // a filled buffer and its context
    RetrieveFlushed = 1,    // the stream is flushed and empty: ends a drain
    RetrieveTimedOut = 2,   // nothing arrived within the time-out
    RetrieveIncomplete = 3, // a buffer came back incomplete
};

// Buffers belong to the caller throughout; the stream only fills them and
// hands them back with the caller's context value. Objects are never deleted
// through this interface.
class IInDataStream {
public:
    // Opens the stream grabber sized from the camera's TotalBytes and
    // DataDepth. LogicalErrorException when already prepared.
    virtual void PrepareGrab() = 0;
    virtual bool IsPrepared() = 0;
    // Hands one buffer of size bytes to the stream.
    virtual void QueueBuffer(uint32_t size, void* buffer, uint32_t context) = 0;
    // Flushes the stream: every queued buffer comes back through
    // RetrieveBuffer (RetrieveFlushed once all are back).
    virtual void CancelGrab() = 0;
    // Waits up to timeoutMs for a buffer; buffer and context may be null.
    virtual ERetrieveResult RetrieveBuffer(void** buffer, uint32_t* context,
                                           uint32_t timeoutMs) = 0;
    // Flushes, drains and closes the stream; a flush or drain error is raised
    // afterwards as a GenericException.
    virtual void FinishGrab() = 0;

protected:
    ~IInDataStream() = default;
};

} // namespace XCamera
