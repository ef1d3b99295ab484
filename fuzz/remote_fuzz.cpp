// What the remotes read from the network: an OSC datagram through liblo to
// our argument handling, a web remote message, and an HTTP request head with
// its route. The first byte chooses which; the rest is the input.

#include "FuzzSupport.h"

#include "remote/HttpRequest.h"
#include "remote/OscProtocol.h"
#include "remote/WebProtocol.h"

#include <cstdint>

namespace {

void CheckCommand(const RemoteCommand& command) {
    FUZZ_CHECK(command.row1.size() <= kMaxRemoteRowLength);
    FUZZ_CHECK(command.row2.size() <= kMaxRemoteRowLength);
    switch (command.verb) {
    case RemoteVerb::GoToLine:
    case RemoteVerb::SelectEntry:
        FUZZ_CHECK(command.number >= 1);
        break;
    case RemoteVerb::Brightness:
        FUZZ_CHECK(command.number >= 0 && command.number <= kMaxBrightnessLevel);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t* input = data + 1;
    const size_t length = size - 1;
    switch (data[0] % 3) {
    case 0: {
        const OscParse parse = ParseOscPacket(input, length);
        FUZZ_CHECK(parse.request.has_value() == (parse.refusal == OscRefusal::None));
        if (parse.request) {
            FUZZ_CHECK(parse.path.startsWith(QLatin1String("/subtitle/")));
            if (parse.request->kind == OscRequest::Kind::Command) {
                CheckCommand(parse.request->command);
            }
            if (parse.request->kind == OscRequest::Kind::Subscribe) {
                FUZZ_CHECK(parse.request->port >= 0 && parse.request->port <= 65535);
            }
        } else {
            FUZZ_CHECK(!parse.detail.isEmpty());
        }
        break;
    }
    case 1: {
        const WebParse parse = ParseWebMessage(QString::fromUtf8(FuzzBytes(input, length)));
        FUZZ_CHECK(parse.request.has_value() == parse.error.isEmpty());
        if (parse.request && parse.request->kind == WebRequest::Kind::Command) {
            CheckCommand(parse.request->command);
        }
        break;
    }
    default: {
        const HttpHeadParse parse = ParseHttpHead(FuzzBytes(input, length));
        if (parse.state == HttpHeadParse::State::Bad) {
            FUZZ_CHECK(parse.status == 400 || parse.status == 431);
        }
        if (parse.state == HttpHeadParse::State::Complete) {
            FUZZ_CHECK(parse.head.headers.size() <= kMaxHttpHeaders);
            const HttpRoute route = RouteHttpRequest(parse.head);
            // Only the page's own files are ever read.
            if (route.kind == HttpRoute::Kind::File) {
                FUZZ_CHECK(route.resource.startsWith(QLatin1String(":/remote/web/")));
                FUZZ_CHECK(!route.resource.contains(QLatin1String("..")));
            }
        }
        break;
    }
    }
    return 0;
}
