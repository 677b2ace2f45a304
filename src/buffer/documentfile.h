#pragma once
// The open file: its bytes, whichever store holds them, the file they came
// from and what changed since they were read or last saved.
//
// A file of up to `wholeUpTo` bytes (2^31 - 1 unless a test asks for less) is
// read whole into a ByteStore; a larger one is read on demand in pages
// (PagedFile). Nothing outside asks which: the bytes come through ByteSource
// by 64-bit position, and span() gives them in one block when they are in
// memory.
//
// Loading makes the name absolute, resolves links, puts back a save that
// was interrupted (see journal.h), and keeps the file's identity. Saving to
// the file that was opened, while it is still as it was, writes only the
// changed bytes through the rollback journal, whatever the store; any other
// target gets the whole content (see filesave.h) and becomes the document's
// file. A plain save refuses when another program changed, replaced or
// removed the file; Save As writes the buffer wherever the user says. After
// a failed save that was undone the document takes the file's new identity,
// so the edits can be saved once the cause is gone.
#include "bytesource.h"
#include "bytestore.h"
#include "fileidentity.h"
#include "filesave.h"

#include <QByteArray>
#include <QString>

#include <cstring>
#include <map>
#include <memory>
#include <optional>

class FileOps;
class PagedFile;

class DocumentFile final : public ByteSource
{
public:
    // One byte as an assignable value: doc[i] = v writes through write(),
    // and reading it gives the byte (0 if unreadable).
    class Ref
    {
    public:
        Ref(DocumentFile &doc, int64_t pos) : m_doc(doc), m_pos(pos) {}
        operator uint8_t() const { return m_doc.byte(m_pos); }
        Ref &operator=(uint8_t value)
        {
            m_doc.write(m_pos, value);
            return *this;
        }

    private:
        DocumentFile &m_doc;
        int64_t m_pos;
    };

    explicit DocumentFile(FileOps &ops, int64_t wholeUpTo = ByteStore::kMaxSize);
    DocumentFile();
    ~DocumentFile() override;

    // `size` zero bytes in memory, with no file behind them; false (and
    // nothing changed) when the memory is not to be had.
    bool allocate(int64_t size);

    int64_t size() const override { return m_bytes ? m_size : m_store->size(); }
    bool read(int64_t pos, int64_t len, uint8_t *dst) const override
    {
        if (!m_bytes)
            return m_store->read(pos, len, dst);
        if (pos < 0 || len < 0 || len > m_size - pos)
            return false;
        std::memcpy(dst, m_bytes + pos, size_t(len));
        return true;
    }
    // Writing a byte's own value changes nothing.
    bool write(int64_t pos, uint8_t value) override;
    const uint8_t *span() const override { return m_bytes; }
    Fault fault() const override { return m_store->fault(); }
    void expectSequentialReads(int64_t pos) const override { m_store->expectSequentialReads(pos); }

    int64_t upperBound() const { return size() - 1; }
    bool contains(int64_t index) const { return index >= 0 && index < size(); }
    uint8_t operator[](int64_t pos) const { return byte(pos); }
    Ref operator[](int64_t pos) { return Ref(*this, pos); }

    // The store itself, shared so that a search beside the window keeps it
    // alive across a load.
    std::shared_ptr<const ByteSource> source() const { return m_store; }

    struct Opened {
        QString failure; // "" when the file is open
        // What was done about an interrupted save found at the file, if any;
        // given on failure too.
        QString notice;
    };
    // Replaces the document with the file `name` (as the user gave it) on
    // success; on failure nothing changes.
    Opened load(const QString &name);

    // Writes the document to `name`: a plain save, or Save As. "" on success,
    // else the reason.
    QString save(const QString &name, bool saveAs);

    // Whether any byte was written with a new value since the last load or save.
    bool isChanged() const { return !m_changed.empty(); }
    // The changed bytes, in file order.
    ByteChanges changes() const;
    // The document's file as the user named it, and its identity; "" and
    // nothing when the bytes came from no file.
    const QString &name() const { return m_name; }
    const std::optional<FileIdentity> &identity() const { return m_identity; }

private:
    void adopt(std::shared_ptr<ByteSource> store, uint8_t *bytes);
    PagedFile *paged() const;
    // The changes are on disk in the file that is now `now`.
    void markSaved(const FileIdentity &now);

    FileOps &m_ops;
    int64_t m_wholeUpTo;
    std::shared_ptr<ByteSource> m_store;
    uint8_t *m_bytes = nullptr; // the store's bytes when it holds them in memory
    int64_t m_size = 0;
    std::map<int64_t, int64_t> m_changed; // first changed byte -> one past the last
    QString m_name;
    QByteArray m_absolute; // m_name made absolute when it was opened
    std::optional<FileIdentity> m_identity;
    // A failed save left its journal: the file mixes old and new bytes until
    // it is put back, which the next save does first.
    bool m_journalLeft = false;
};
