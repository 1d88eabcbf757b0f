#include <tools/logger/diagnostics.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace GseLib {

namespace {

Diagnostics::Handler& handler() {
    static Diagnostics::Handler h;
    return h;
}

Diagnostics::Observer& observer() {
    static Diagnostics::Observer o;
    return o;
}

}  // namespace

void Diagnostics::report(Kind kind, std::string_view text, Stream stream) {
    if (observer()) {
        observer()(kind, text);
    }
    if (handler()) {
        handler()(kind, text, stream);
    } else {
        write(text, stream);
    }
}

void Diagnostics::report(Kind kind, const QString& text, Stream stream) {
    const QByteArray bytes = text.toLocal8Bit();
    report(kind, std::string_view(bytes.constData(), size_t(bytes.size())), stream);
}

void Diagnostics::reportf(Kind kind, const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (size_t(n) < sizeof small) {
        va_end(again);
        report(kind, std::string_view(small, size_t(n)));
        return;
    }
    std::vector<char> large(size_t(n) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    va_end(again);
    report(kind, std::string_view(large.data(), size_t(n)));
}

void Diagnostics::fatal(Kind kind, std::string_view text) {
    if (observer()) {
        observer()(kind, text);
    }
    write(text, Stream::Error);
}

Diagnostics::Handler Diagnostics::setHandler(Handler h) {
    return std::exchange(handler(), std::move(h));
}

Diagnostics::Observer Diagnostics::setObserver(Observer o) {
    return std::exchange(observer(), std::move(o));
}

const char* Diagnostics::kindName(Kind kind) {
    switch (kind) {
        case Kind::Reader:
            return "reader";
        case Kind::Rules:
            return "rules";
        case Kind::Config:
            return "config";
        case Kind::Binding:
            return "binding";
        case Kind::Decoder:
            return "decoder";
        case Kind::Fit:
            return "fit";
        case Kind::Database:
            return "database";
        case Kind::Event:
            return "event";
    }
    return "event";
}

void Diagnostics::write(std::string_view text, Stream stream) {
    std::FILE* out = stream == Stream::Output ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fputc('\n', out);
    if (stream == Stream::Output) {
        // Standard error is unbuffered; a line on standard output must not wait behind the
        // lines written to standard error after it.
        std::fflush(out);
    }
}

}  // namespace GseLib
