#include "platform/memory/MarkupParser.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace memory {

namespace {

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}
std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

const std::set<std::string> kVoid = {"AREA", "BASE", "BR",    "COL",   "EMBED", "HR",  "IMG",
                                     "INPUT", "LINK", "META", "PARAM", "SOURCE", "WBR"};

class Parser {
public:
    Parser(const std::shared_ptr<World>& world, const std::string& html)
        : world_(world), s_(html) {}

    std::vector<std::shared_ptr<MemoryElement>> run() {
        while (i_ < s_.size()) {
            if (s_.compare(i_, 4, "<!--") == 0) {
                size_t end = s_.find("-->", i_ + 4);
                i_ = end == std::string::npos ? s_.size() : end + 3;
            } else if (s_.compare(i_, 2, "</") == 0) {
                closeTag();
            } else if (s_[i_] == '<' && i_ + 1 < s_.size() &&
                       (std::isalpha(static_cast<unsigned char>(s_[i_ + 1])) || s_[i_ + 1] == '!')) {
                openTag();
            } else {
                size_t end = s_.find('<', i_ + 1);
                if (end == std::string::npos) end = s_.size();
                addText(s_.substr(i_, end - i_));
                i_ = end;
            }
        }
        return top_;
    }

private:
    void add(const std::shared_ptr<MemoryElement>& node) {
        if (stack_.empty()) {
            top_.push_back(node);
        } else {
            stack_.back()->children.push_back(node);
            node->parent = stack_.back();
        }
    }

    void addText(const std::string& raw) {
        auto node = std::make_shared<MemoryElement>(world_, "#text");
        node->text = decodeEntities(raw);
        add(node);
    }

    void skipSpace() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }

    std::string readName() {
        size_t start = i_;
        while (i_ < s_.size() && !std::isspace(static_cast<unsigned char>(s_[i_])) &&
               s_[i_] != '>' && s_[i_] != '/' && s_[i_] != '=')
            ++i_;
        return s_.substr(start, i_ - start);
    }

    void openTag() {
        if (s_[i_ + 1] == '!') {  // <!DOCTYPE ...>
            size_t end = s_.find('>', i_);
            i_ = end == std::string::npos ? s_.size() : end + 1;
            return;
        }
        ++i_;
        auto node = std::make_shared<MemoryElement>(world_, upper(readName()));
        bool selfClosed = false;
        for (;;) {
            skipSpace();
            if (i_ >= s_.size()) throw support::Failure("unterminated tag");
            if (s_[i_] == '>') {
                ++i_;
                break;
            }
            if (s_[i_] == '/') {
                selfClosed = true;
                ++i_;
                continue;
            }
            std::string name = lower(readName());
            std::string value;
            skipSpace();
            if (i_ < s_.size() && s_[i_] == '=') {
                ++i_;
                skipSpace();
                if (i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\'')) {
                    char quote = s_[i_++];
                    size_t end = s_.find(quote, i_);
                    if (end == std::string::npos) throw support::Failure("unterminated attribute");
                    value = s_.substr(i_, end - i_);
                    i_ = end + 1;
                } else {
                    value = readName();
                }
            }
            if (!name.empty() && !node->attributes.count(name))
                node->attributes[name] = decodeEntities(value);
        }
        add(node);
        if (node->tag == "SCRIPT" || node->tag == "STYLE") {
            // Raw text up to the matching end tag.
            std::string close = "</" + lower(node->tag);
            size_t end = lower(s_).find(close, i_);
            if (end == std::string::npos) end = s_.size();
            node->text = s_.substr(i_, end - i_);
            i_ = end;
            size_t gt = s_.find('>', i_);
            i_ = gt == std::string::npos ? s_.size() : gt + 1;
            return;
        }
        if (!selfClosed && !kVoid.count(node->tag)) stack_.push_back(node);
    }

    void closeTag() {
        i_ += 2;
        std::string name = upper(readName());
        size_t gt = s_.find('>', i_);
        i_ = gt == std::string::npos ? s_.size() : gt + 1;
        // Close up to the matching open element; a stray end tag is ignored.
        for (size_t k = stack_.size(); k-- > 0;) {
            if (stack_[k]->tag == name) {
                stack_.resize(k);
                return;
            }
        }
    }

    std::shared_ptr<World> world_;
    const std::string& s_;
    size_t i_ = 0;
    std::vector<std::shared_ptr<MemoryElement>> stack_;
    std::vector<std::shared_ptr<MemoryElement>> top_;
};

}  // namespace

std::string decodeEntities(const std::string& text) {
    static const std::pair<const char*, const char*> kRefs[] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (auto [ref, ch] : kRefs) {
                size_t n = std::char_traits<char>::length(ref);
                if (text.compare(i, n, ref) == 0) {
                    out += ch;
                    i += n;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

std::vector<std::shared_ptr<MemoryElement>> parseMarkup(const std::shared_ptr<World>& world,
                                                        const std::string& html) {
    return Parser(world, html).run();
}

}  // namespace memory
