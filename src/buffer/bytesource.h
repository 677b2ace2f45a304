#pragma once
// The one way to the open file's bytes: the view, the search and the edit
// boxes ask for bytes by 64-bit position and never know which store answers
// (the whole file in memory, or pages read on demand from the disk).
//
// A read either fills every byte asked for and returns true, or returns
// false; a store that can no longer read says why through fault().
#include <cstdint>

class ByteSource
{
public:
    enum class Fault {
        None,
        ReadFailed,    // the disk refused a read, or the file ended early
        ChangedOnDisk, // another program replaced, cut or rewrote the file
    };

    virtual ~ByteSource() = default;

    virtual int64_t size() const = 0;
    // Copies bytes pos .. pos + len - 1 into dst; false for a range outside
    // 0 .. size() or a failed read.
    virtual bool read(int64_t pos, int64_t len, uint8_t *dst) const = 0;
    // Replaces one byte in place; false when pos is outside or unreadable.
    virtual bool write(int64_t pos, uint8_t value) = 0;
    // Every byte in one block when the store holds them in memory, so hot
    // loops can skip the interface; nullptr otherwise.
    virtual const uint8_t *span() const = 0;
    virtual Fault fault() const { return Fault::None; }
    // A hint that the bytes from `pos` on are about to be read once, in
    // order, so that a store on disk can ask for them ahead of time.
    virtual void expectSequentialReads(int64_t pos) const { (void)pos; }

    // The byte at pos, or 0 when it cannot be read.
    uint8_t byte(int64_t pos) const
    {
        uint8_t b = 0;
        return read(pos, 1, &b) ? b : 0;
    }
};
