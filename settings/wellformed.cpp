// The check of config.xml's bytes that runs before the engine's XML reader ever sees them.
#include "settings/settings.h"

#include <cstring>
#include <vector>

// The engine's reader trusts its input: it scans for the '>' of a closing tag, and for the '>' that balances a
// comment's '<', without looking for the end of its buffer. This is a checker of well-formed XML read byte by byte,
// with two departures that follow that reader: an element may repeat an attribute name (the game keeps both), and a
// comment may not hold '<' or '>', a processing instruction not '>', and there is no document type declaration,
// since the reader would lose its place in them. Bytes from 0x80 up pass as letters, whatever the encoding.
namespace {

struct Name {
    long start;
    long length;
};

class Checker {
public:
    Checker(const unsigned char* bytes, long size) : bytes_(bytes), size_(size) {}

    bool Document();
    long FaultOffset() const { return fault_offset_; }
    const char* Reason() const { return reason_; }

private:
    const unsigned char* bytes_;
    long size_;
    long at_ = 0;
    long fault_offset_ = 0;
    const char* reason_ = "";
    std::vector<Name> open_;

    bool Fail(const char* reason, long offset) {
        reason_ = reason;
        fault_offset_ = offset;
        return false;
    }
    bool Fail(const char* reason) { return Fail(reason, at_); }
    bool AtEnd() const { return at_ >= size_; }
    bool Starts(const char* text) const {
        long length = static_cast<long>(strlen(text));
        return size_ - at_ >= length && memcmp(bytes_ + at_, text, static_cast<size_t>(length)) == 0;
    }
    static bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    static bool IsNameStart(unsigned char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
    }
    static bool IsNameChar(unsigned char c) {
        return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
    bool SkipSpace() {
        long from = at_;
        while (!AtEnd() && IsSpace(bytes_[at_])) at_++;
        return at_ > from;
    }

    bool Characters();
    bool ParseName(Name* name);
    bool Comment();
    bool Instruction(bool is_first);
    bool CharacterData();
    bool Reference();
    bool AttributeValue();
    bool StartTag();
    bool EndTag();
    bool Content();
    bool Miscellany(bool is_first);
};

// XML allows no control character but tab, line feed and carriage return.
bool Checker::Characters() {
    for (long i = 0; i < size_; i++) {
        unsigned char c = bytes_[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return Fail("a control character", i);
    }
    return true;
}

bool Checker::ParseName(Name* name) {
    if (AtEnd() || !IsNameStart(bytes_[at_])) return Fail(AtEnd() ? "the file ends where a name should be" : "a name is expected");
    name->start = at_;
    while (!AtEnd() && IsNameChar(bytes_[at_])) at_++;
    name->length = at_ - name->start;
    return true;
}

bool Checker::Comment() {
    long begin = at_;
    at_ += 4;
    for (; !AtEnd(); at_++) {
        unsigned char c = bytes_[at_];
        if (c == '<' || c == '>') return Fail("a comment holds '<' or '>'");
        if (!Starts("--")) continue;
        if (size_ - at_ < 3 || bytes_[at_ + 2] != '>') return Fail("'--' inside a comment");
        at_ += 3;
        return true;
    }
    return Fail("the file ends inside a comment", begin);
}

bool Checker::Instruction(bool is_first) {
    long begin = at_;
    at_ += 2;
    Name target;
    if (!ParseName(&target)) return false;
    bool is_declaration = target.length == 3 && (bytes_[target.start] | 0x20) == 'x' &&
                          (bytes_[target.start + 1] | 0x20) == 'm' && (bytes_[target.start + 2] | 0x20) == 'l';
    if (is_declaration && !is_first) return Fail("an XML declaration that is not at the start", begin);
    if (Starts("?>")) {
        at_ += 2;
        return true;
    }
    if (!SkipSpace()) return Fail("a space is expected after the instruction's name");
    for (; !AtEnd(); at_++) {
        if (Starts("?>")) {
            at_ += 2;
            return true;
        }
        if (bytes_[at_] == '>') return Fail("a processing instruction holds '>'");
    }
    return Fail("the file ends inside a processing instruction", begin);
}

bool Checker::CharacterData() {
    long begin = at_;
    at_ += 9;
    for (; !AtEnd(); at_++) {
        if (!Starts("]]>")) continue;
        at_ += 3;
        return true;
    }
    return Fail("the file ends inside a CDATA section", begin);
}

// Only the five entities every XML document knows, and character references to characters XML allows.
bool Checker::Reference() {
    static const char* const known[] = {"&lt;", "&gt;", "&amp;", "&quot;", "&apos;"};
    for (const char* entity : known) {
        if (!Starts(entity)) continue;
        at_ += static_cast<long>(strlen(entity));
        return true;
    }
    long begin = at_;
    if (!Starts("&#")) return Fail("an unknown entity reference");
    at_ += 2;
    bool is_hex = !AtEnd() && bytes_[at_] == 'x';
    if (is_hex) at_++;
    unsigned long code = 0;
    long digits = 0;
    for (; !AtEnd() && bytes_[at_] != ';'; at_++, digits++) {
        unsigned char c = bytes_[at_];
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : is_hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        if (digit < 0) return Fail("a bad character reference", begin);
        code = code * (is_hex ? 16 : 10) + static_cast<unsigned long>(digit);
        if (code > 0x10FFFF) return Fail("a bad character reference", begin);
    }
    if (AtEnd() || digits == 0) return Fail("a bad character reference", begin);
    bool allowed = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                   (code >= 0xE000 && code <= 0xFFFD) || code >= 0x10000;
    if (!allowed) return Fail("a bad character reference", begin);
    at_++;
    return true;
}

bool Checker::AttributeValue() {
    if (AtEnd()) return Fail("the file ends inside a tag");
    unsigned char quote = bytes_[at_];
    if (quote != '"' && quote != '\'') return Fail("an attribute value must be quoted");
    long begin = at_++;
    while (!AtEnd() && bytes_[at_] != quote) {
        if (bytes_[at_] == '<') return Fail("'<' in an attribute value");
        if (bytes_[at_] == '&') {
            if (!Reference()) return false;
            continue;
        }
        at_++;
    }
    if (AtEnd()) return Fail("the file ends inside an attribute value", begin);
    at_++;
    return true;
}

bool Checker::StartTag() {
    long begin = at_++;
    Name name;
    if (!ParseName(&name)) return false;
    for (;;) {
        bool had_space = SkipSpace();
        if (AtEnd()) return Fail("the file ends inside a tag", begin);
        if (Starts("/>")) {
            at_ += 2;
            return true;
        }
        if (bytes_[at_] == '>') {
            at_++;
            open_.push_back(name);
            return true;
        }
        if (!had_space) return Fail("a space is expected between attributes");
        Name attribute;
        if (!ParseName(&attribute)) return false;
        SkipSpace();
        if (AtEnd()) return Fail("the file ends inside a tag", begin);
        if (bytes_[at_] != '=') return Fail("an attribute without '=' and a value");
        at_++;
        SkipSpace();
        if (!AttributeValue()) return false;
    }
}

bool Checker::EndTag() {
    long begin = at_;
    at_ += 2;
    Name name;
    if (!ParseName(&name)) return false;
    SkipSpace();
    if (AtEnd()) return Fail("the file ends inside a closing tag", begin);
    if (bytes_[at_] != '>') return Fail("'>' is expected to end the closing tag");
    const Name& expected = open_.back();
    if (name.length != expected.length ||
        memcmp(bytes_ + name.start, bytes_ + expected.start, static_cast<size_t>(name.length)) != 0)
        return Fail("the closing tag does not match the open element", begin);
    at_++;
    open_.pop_back();
    return true;
}

// Everything inside the root element, up to and including its closing tag.
bool Checker::Content() {
    while (!open_.empty()) {
        if (AtEnd()) return Fail("the file ends before every element is closed");
        bool ok = true;
        if (Starts("<!--")) ok = Comment();
        else if (Starts("<![CDATA[")) ok = CharacterData();
        else if (Starts("<?")) ok = Instruction(false);
        else if (Starts("</")) ok = EndTag();
        else if (Starts("<!")) ok = Fail("markup the settings file never holds");
        else if (bytes_[at_] == '<') ok = StartTag();
        else if (bytes_[at_] == '&') ok = Reference();
        else if (Starts("]]>")) ok = Fail("']]>' in text");
        else at_++;
        if (!ok) return false;
    }
    return true;
}

// White space, comments and processing instructions, before or after the root element.
bool Checker::Miscellany(bool is_first) {
    for (;;) {
        SkipSpace();
        bool ok = true;
        if (Starts("<!--")) ok = Comment();
        else if (Starts("<?")) ok = Instruction(is_first);
        else return true;
        if (!ok) return false;
    }
}

bool Checker::Document() {
    if (!Characters()) return false;
    if (Starts("\xEF\xBB\xBF")) at_ += 3;
    if (Starts("<?") && !Instruction(true)) return false;
    if (!Miscellany(false)) return false;
    if (AtEnd()) return Fail("there is no root element");
    if (Starts("<!DOCTYPE")) return Fail("a document type declaration, which the settings file never holds");
    if (bytes_[at_] != '<' || !IsNameStart(at_ + 1 < size_ ? bytes_[at_ + 1] : 0))
        return Fail("the root element is expected");
    if (!StartTag() || !Content() || !Miscellany(false)) return false;
    if (!AtEnd()) return Fail("content after the root element");
    return true;
}

}  // namespace

bool settings_IsWellFormed(const char* bytes, long size, SettingsFileFault* fault) {
    Checker checker(reinterpret_cast<const unsigned char*>(bytes), size);
    if (checker.Document()) return true;
    if (!fault) return false;
    long offset = checker.FaultOffset();
    fault->line = 1;
    fault->column = 1;
    for (long i = 0; i < offset && i < size; i++) {
        fault->column++;
        if (bytes[i] != '\n') continue;
        fault->line++;
        fault->column = 1;
    }
    fault->reason = checker.Reason();
    return false;
}
