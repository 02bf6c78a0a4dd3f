#include "standalone/ParallelDeflate.h"

#include <zlib.h>

#include <atomic>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

struct Piece {
    std::string compressed;
    uLong adler = 1;
    size_t rawSize = 0;
};

// Deflates one piece as raw deflate data: a non-final piece ends with a sync flush (an empty
// stored block), which leaves the stream open and byte-aligned for the next piece.
bool DeflatePiece(const std::string& raw, bool last, int level, Piece& piece, std::string& error) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        error = "zlib could not start";
        return false;
    }
    piece.rawSize = raw.size();
    piece.adler = adler32(adler32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size()));
    piece.compressed.resize(deflateBound(&z, static_cast<uLong>(raw.size())) + 64);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    size_t produced = 0;
    int status = Z_OK;
    for (;;) {
        if (produced == piece.compressed.size()) piece.compressed.resize(piece.compressed.size() * 2);
        z.next_out = reinterpret_cast<Bytef*>(piece.compressed.data() + produced);
        z.avail_out = static_cast<uInt>(piece.compressed.size() - produced);
        status = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
        produced = piece.compressed.size() - z.avail_out;
        if (status == Z_STREAM_ERROR) break;
        if (last ? status == Z_STREAM_END : (z.avail_in == 0 && z.avail_out > 0)) break;
    }
    deflateEnd(&z);
    if (status == Z_STREAM_ERROR) {
        error = "zlib failed";
        return false;
    }
    piece.compressed.resize(produced);
    return true;
}

}  // namespace

bool DeflateInPieces(const DeflateJob& job, std::vector<std::string>& out, std::string& error) {
    out.clear();
    if (job.pieces == 0 || !job.fill) {
        error = "nothing to compress";
        return false;
    }
    std::vector<Piece> pieces(job.pieces);
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    auto work = [&] {
        std::string raw;
        for (size_t i = next.fetch_add(1); i < job.pieces && !failed; i = next.fetch_add(1)) {
            std::string why;
            bool ok = false;
            try {
                raw.clear();
                job.fill(i, raw);
                ok = DeflatePiece(raw, i + 1 == job.pieces, job.level, pieces[i], why);
            } catch (const std::bad_alloc&) {
                why = "out of memory";
            }
            if (!ok) {
                std::lock_guard<std::mutex> lock(errorMutex);
                if (!failed.exchange(true)) error = why;
            }
        }
    };
    const size_t helpers = job.threads > 1 ? std::min<size_t>(static_cast<size_t>(job.threads) - 1, job.pieces - 1) : 0;
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    for (size_t t = 0; t < helpers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads: the pieces are shared out among those that started
        }
    }
    work();
    for (auto& t : threads) t.join();
    if (failed) return false;

    // The zlib header for the fastest levels (CMF 0x78: deflate, 32 KiB window; FLG 0x01, the
    // check bits for level "fastest"), or the default header for others.
    const unsigned char flg = job.level <= 1 ? 0x01 : job.level <= 5 ? 0x5E : job.level == 6 ? 0x9C : 0xDA;
    uLong adler = adler32(0L, Z_NULL, 0);
    for (const Piece& p : pieces) adler = adler32_combine(adler, p.adler, static_cast<z_off_t>(p.rawSize));
    out.reserve(pieces.size());
    for (Piece& p : pieces) out.push_back(std::move(p.compressed));
    out.front().insert(0, std::string{'\x78', static_cast<char>(flg)});
    const char trailer[4] = {static_cast<char>(adler >> 24), static_cast<char>(adler >> 16), static_cast<char>(adler >> 8),
                             static_cast<char>(adler)};
    out.back().append(trailer, 4);
    return true;
}
