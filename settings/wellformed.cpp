// The check of config.xml's bytes that runs before the engine's XML reader ever sees them.
#include "settings/settings.h"

#include <climits>

// The engine's reader trusts its input. It widens the file to 32-bit characters (UTF-16 or UTF-32 after a byte-order
// mark, anything else byte by byte) and ends them with a zero; then it scans for the '>' that closes a tag, an
// instruction or a comment, for the '=' after an attribute's name and for the end of an element's name without ever
// looking for that zero. Markup left open at the end of the file makes it read past its buffer, and a comment or a
// CDATA section shorter than the characters it steps over gives it a negative length to copy. The check walks the
// file exactly as the reader will and refuses only those files; whatever else the reader makes of a file (a
// document type, an unknown entity, an unclosed element, plain text) is what the game reads.
//
// A NUL character ends the reader's text wherever the reader looks for one: in text, before or inside an attribute's
// value and inside a CDATA section the file reads as if it ended there. In a tag's or an attribute's name the reader
// steps over it, and the game, which takes names up to their first NUL, would read another name: only that is
// refused.
namespace {

// The reader replaces entities by rebuilding a text once per '&' in it, which takes the '&' count times the text's
// length: past this many characters copied, a crafted file would hold the game for minutes.
const long long REPLACE_BUDGET = 1LL << 26;

class Walk {
public:
    Walk(const unsigned char* bytes, long size) : bytes_(bytes), size_(size) {}

    bool Document();
    long FaultCharacter() const { return fault_; }
    const char* Reason() const { return reason_; }
    unsigned At(long i) const;

private:
    const unsigned char* bytes_;
    long size_;
    int unit_ = 1;             // bytes per character
    long header_ = 0;          // bytes of the byte-order mark
    bool big_endian_ = false;
    long swapped_until_ = LONG_MAX;  // a big-endian text's characters that the reader puts in its own order
    long count_ = 0;           // characters before the reader's zero
    long at_ = 0;              // the reader's position
    long long replaced_ = 0;   // characters the entity replacement copies
    long fault_ = 0;
    const char* reason_ = "";

    bool Fail(const char* reason, long character) {
        reason_ = reason;
        fault_ = character;
        return false;
    }
    static bool IsSpace(unsigned c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
    unsigned Byte(long i) const { return i < size_ ? bytes_[i] : 0; }

    bool Decode();
    bool IsNul(long i) const { return i < count_ && At(i) == 0; }
    // The reader stops at the NUL for good: nothing after it is read.
    bool StopAtNul() {
        at_ = count_;
        return true;
    }
    bool Replaced(long begin, long end);
    bool ClosingTag(long markup);
    bool Instruction(long markup);
    bool CharacterData(long markup);
    bool Comment(long markup);
    bool Element(long markup);
};

// The reader looks at its first four bytes, the file's zeros beyond its end included, for a byte-order mark.
bool Walk::Decode() {
    unsigned first = Byte(0) | Byte(1) << 8 | Byte(2) << 16 | Byte(3) << 24;
    if (first == 0x0000FEFFu || first == 0xFFFE0000u) {
        unit_ = 4;
        big_endian_ = first == 0xFFFE0000u;
        header_ = 4;
        // The reader widens the last, partial character from beyond its buffer.
        if (size_ % 4 != 0) return Fail("UTF-32 text cut inside a character", (size_ - 4) / 4);
    } else if ((first & 0xFFFF) == 0xFEFF || (first & 0xFFFF) == 0xFFFE) {
        unit_ = 2;
        big_endian_ = (first & 0xFFFF) == 0xFFFE;
        header_ = 2;
    } else if (size_ >= 3 && Byte(0) == 0xEF && Byte(1) == 0xBB && Byte(2) == 0xBF) {
        header_ = 3;
    }
    count_ = (size_ - header_ + unit_ - 1) / unit_;
    // Half a UTF-16 character is completed with a zero byte: in big-endian order it reads as the text's end.
    if (unit_ == 2 && (size_ - header_) % 2 == 1 && At(count_ - 1) == 0) count_--;
    // The reader turns a big-endian text around only up to its first NUL: the characters after it keep their bytes
    // the wrong way round, so that a '>' there is no '>' to the reader.
    for (long i = 0; big_endian_ && swapped_until_ == LONG_MAX && i < count_; i++)
        if (At(i) == 0) swapped_until_ = i;
    return true;
}

unsigned Walk::At(long i) const {
    if (i < 0 || i >= count_) return 0;
    long byte = header_ + i * unit_;
    bool swapped = big_endian_ && i < swapped_until_;
    unsigned value = 0;
    for (int k = 0; k < unit_; k++) value |= Byte(byte + k) << (swapped ? 8 * (unit_ - 1 - k) : 8 * k);
    return value;
}

bool Walk::Replaced(long begin, long end) {
    long long amps = 0;
    for (long i = begin; i < end; i++) amps += At(i) == '&';
    replaced_ += amps * (end - begin);
    return replaced_ <= REPLACE_BUDGET || Fail("more '&' than the reader can replace in time", begin);
}

bool Walk::ClosingTag(long markup) {
    for (at_++; At(at_) != '>'; at_++)
        if (at_ >= count_) return Fail("the file ends inside a closing tag", markup);
    at_++;
    return true;
}

bool Walk::Instruction(long markup) {
    for (; At(at_) != '>'; at_++)
        if (at_ >= count_) return Fail("the file ends inside a processing instruction", markup);
    at_++;
    return true;
}

// The reader steps over the eight characters of "![CDATA[" whatever they are, then looks for "]]>" back from each '>'.
bool Walk::CharacterData(long markup) {
    for (int skipped = 0; skipped < 8 && at_ < count_; skipped++, at_++)
        if (IsNul(at_ + 1)) return StopAtNul();
    long begin = at_;
    for (; at_ < count_; at_++) {
        if (IsNul(at_)) return StopAtNul();
        if (At(at_) != '>' || At(at_ - 1) != ']' || At(at_ - 2) != ']') continue;
        at_++;
        if (at_ - 3 < begin) return Fail("a CDATA section too short for its own markers", markup);
        return true;
    }
    return true;
}

// A comment or any other "<!" markup ends at the '>' that balances every '<' inside it; the reader then takes
// the text between its first two and last three characters.
bool Walk::Comment(long markup) {
    long begin = ++at_;
    for (long depth = 1; depth > 0; at_++) {
        if (at_ >= count_) return Fail("the file ends inside a comment or declaration", markup);
        if (At(at_) == '>') depth--;
        else if (At(at_) == '<') depth++;
    }
    if (at_ - begin < 5) return Fail("a comment or declaration too short for the reader", markup);
    return true;
}

bool Walk::Element(long markup) {
    for (; At(at_) != '>' && !IsSpace(At(at_)); at_++) {
        if (at_ >= count_) return Fail("the file ends inside a tag", markup);
        if (IsNul(at_)) return Fail("a NUL character in a name", at_);
    }
    while (At(at_) != '>') {
        if (at_ >= count_) return Fail("the file ends inside a tag", markup);
        if (IsSpace(At(at_))) {
            at_++;
            continue;
        }
        // "/" ends the element, and the reader steps over the character after it, whatever it is.
        if (At(at_) == '/') {
            at_ += 2;
            return true;
        }
        long name = at_;
        for (; !IsSpace(At(at_)) && At(at_) != '='; at_++) {
            if (at_ >= count_) return Fail("the file ends inside an attribute's name", name);
            if (IsNul(at_)) return Fail("a NUL character in a name", at_);
        }
        // An attribute without a quoted value ends the reader's reading at the end of the file.
        for (at_++; at_ < count_ && At(at_) != '"' && At(at_) != '\''; at_++)
            if (IsNul(at_)) return StopAtNul();
        if (at_ >= count_) return true;
        unsigned quote = At(at_);
        long value = ++at_;
        for (; at_ < count_ && At(at_) != quote; at_++)
            if (IsNul(at_)) return StopAtNul();
        if (at_ >= count_) return true;
        if (!Replaced(value, at_)) return false;
        at_++;
    }
    at_++;
    return true;
}

bool Walk::Document() {
    if (!Decode()) return false;
    while (at_ < count_) {
        long text = at_;
        while (at_ < count_ && At(at_) != '<' && !IsNul(at_)) at_++;
        if (at_ >= count_ || IsNul(at_)) return true;
        if (!Replaced(text, at_)) return false;
        long markup = at_++;
        bool ok = At(at_) == '/'   ? ClosingTag(markup)
                  : At(at_) == '?' ? Instruction(markup)
                  : At(at_) == '!' ? (At(at_ + 1) == '[' ? CharacterData(markup) : Comment(markup))
                                   : Element(markup);
        if (!ok) return false;
    }
    return true;
}

}  // namespace

bool settings_IsSafeToRead(const char* bytes, long size, SettingsFileFault* fault) {
    Walk walk(reinterpret_cast<const unsigned char*>(bytes), size);
    if (walk.Document()) return true;
    if (!fault) return false;
    fault->line = 1;
    fault->column = 1;
    for (long i = 0; i < walk.FaultCharacter(); i++) {
        fault->column++;
        if (walk.At(i) != '\n') continue;
        fault->line++;
        fault->column = 1;
    }
    fault->reason = walk.Reason();
    return false;
}
