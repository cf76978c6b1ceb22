#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace duskmere {

// The one option syntax of every program: an option is spelled with one dash or two ("-seed",
// "--seed"), and its value follows as the next argument or after '=' ("--seed=5", "-seed 5").
// The cursor walks the arguments, handing out option names without their dashes, and values.
class ArgumentCursor {
public:
    explicit ArgumentCursor(const std::vector<std::string>& args) : args_(args) {}

    // Moves to the next argument; false after the last.
    bool next() {
        if (i_ >= args_.size()) return false;
        at_ = i_;
        spelled_ = args_[i_++];
        inlineValue_.reset();
        name_.clear();
        if (!isOption()) return true;
        const size_t eq = spelled_.find('=');
        if (eq != std::string::npos) {
            inlineValue_ = spelled_.substr(eq + 1);
            spelled_.resize(eq);
        }
        name_ = spelled_.substr(spelled_[1] == '-' ? 2 : 1);
        return true;
    }

    // Whether the argument is an option: a dash and something after it ("-" alone is not).
    bool isOption() const { return spelled_.size() > 1 && spelled_[0] == '-'; }
    // The option's name without its dashes and value ("seed"); empty for other arguments.
    const std::string& name() const { return name_; }
    // The argument as written, up to any '=', for messages.
    const std::string& spelled() const { return spelled_; }
    bool hasInlineValue() const { return inlineValue_.has_value(); }
    // The argument exactly as given, '=' and value included, for programs that also take
    // switches of another syntax.
    const std::string& argument() const { return args_[at_]; }
    // The argument after this one, not taken (a value that may be absent); null at the end.
    const std::string* peek() const { return i_ < args_.size() ? &args_[i_] : nullptr; }

    // The option's value: after '=', or else the next argument (taken); none at the end.
    std::optional<std::string> value() {
        if (inlineValue_) return inlineValue_;
        if (i_ >= args_.size()) return std::nullopt;
        return args_[i_++];
    }

private:
    const std::vector<std::string>& args_;
    size_t i_ = 0;
    size_t at_ = 0;
    std::string spelled_;
    std::string name_;
    std::optional<std::string> inlineValue_;
};

// What a program makes of its arguments: the options, checked in full before any work starts.
template <class Options>
struct Parsed {
    Options options;
    std::string error;  // one line; empty when the options are good
};

// The one loop of every program's parser. `take(cursor, options)` reads the argument the cursor
// stands at, with any value it takes, and returns what is wrong with it in one line (empty: go
// on); the first such line ends the walk. `check(options)` then judges the options as a whole.
template <class Options, class Take, class Check>
Parsed<Options> parseArguments(const std::vector<std::string>& args, Take take, Check check) {
    Parsed<Options> result;
    ArgumentCursor cursor(args);
    while (result.error.empty() && cursor.next()) result.error = take(cursor, result.options);
    if (result.error.empty()) result.error = check(std::as_const(result.options));
    return result;
}

template <class Options, class Take>
Parsed<Options> parseArguments(const std::vector<std::string>& args, Take take) {
    return parseArguments<Options>(args, take, [](const Options&) { return std::string(); });
}

}  // namespace duskmere
