// SPDX-License-Identifier: MIT
#include "mpd/mpd_protocol.h"

#include <cmath>

#include "velmora/whole_number.h"

namespace velmora::jukebox {

namespace {

std::uint16_t parseMpdPort(std::string_view text) {
    const auto value = velmora::wholeNumber<unsigned>(text);
    if (!value || *value < 1 || *value > 65535)
        throw MpdAddressError("MPD port must be a number from 1 to 65535, not '" +
                              std::string(text) + "'");
    return static_cast<std::uint16_t>(*value);
}

template <class Number>
std::optional<Number> number(std::optional<std::string_view> text) {
    return text ? velmora::wholeNumber<Number>(*text) : std::nullopt;
}

std::optional<double> decimal(std::optional<std::string_view> text) {
    return text ? velmora::decimalNumber(*text) : std::nullopt;
}

}  // namespace

std::string MpdAddress::describe() const {
    if (local()) return host;
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

MpdAddress parseMpdAddress(std::optional<std::string_view> argument, const char* environmentHost,
                           const char* environmentPort) {
    MpdAddress address;
    const bool fromArgument = argument && !argument->empty();
    std::string_view text = fromArgument                          ? *argument
                            : environmentHost && *environmentHost ? environmentHost
                                                                  : std::string_view();
    if (const auto at = text.rfind('@'); at != std::string_view::npos && at > 0) {
        address.password = text.substr(0, at);
        text.remove_prefix(at + 1);
    }
    std::optional<std::string_view> port;
    if (text.starts_with('[')) {
        const auto close = text.find(']');
        if (close == std::string_view::npos)
            throw MpdAddressError("MPD address '" + std::string(text) + "' has no closing ']'");
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            throw MpdAddressError("MPD address '" + std::string(text) + "' is not [HOST]:PORT");
        if (!rest.empty()) port = rest.substr(1);
        text = text.substr(1, close - 1);
    } else if (!text.starts_with('/') && !text.starts_with('@') &&
               text.find(':') == text.rfind(':') && text.find(':') != std::string_view::npos) {
        // HOST:PORT is ours; MPD's own MPD_HOST has no port, but a single colon is never IPv6.
        port = text.substr(text.find(':') + 1);
        text = text.substr(0, text.find(':'));
    }
    if (!text.empty()) address.host = text;
    if (port)
        address.port = parseMpdPort(*port);
    else if (environmentPort && *environmentPort)
        address.port = parseMpdPort(environmentPort);
    if (address.host.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos)
        throw MpdAddressError("MPD host holds a control character");
    return address;
}

std::string mpdQuote(std::string_view argument) {
    std::string out = "\"";
    for (const char ch : argument) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
    }
    return out += '"';
}

std::optional<std::string_view> MpdReply::find(std::string_view key) const {
    for (const auto& [name, value] : pairs)
        if (name == key) return value;
    return std::nullopt;
}

bool MpdReplyParser::fail(std::string why) {
    if (error_.empty()) error_ = std::move(why);
    partial_ = {};
    current_ = {};
    return false;
}

bool MpdReplyParser::feed(std::string_view bytes,
                          const std::function<void(std::string_view)>& greeted,
                          const std::function<void(MpdReply&)>& reply) {
    while (!broken() && !bytes.empty()) {
        if (inBinary_) {
            if (binaryLeft_ > 0) {
                const std::size_t take = std::min(binaryLeft_, bytes.size());
                current_.binary.append(bytes.substr(0, take));
                binaryLeft_ -= take;
                bytes.remove_prefix(take);
                continue;
            }
            if (bytes.front() != '\n') return fail("binary chunk longer than announced");
            bytes.remove_prefix(1);
            inBinary_ = false;
            continue;
        }
        const auto newline = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, newline);
        if (partial_.size() + piece.size() > limits_.maxLineBytes)
            return fail("line longer than " + std::to_string(limits_.maxLineBytes) + " bytes");
        if (newline == std::string_view::npos) {
            partial_.append(piece);
            return true;
        }
        bytes.remove_prefix(newline + 1);
        if (partial_.empty()) {
            line(piece, greeted, reply);
        } else {
            partial_.append(piece);
            const std::string whole = std::move(partial_);
            partial_.clear();
            line(whole, greeted, reply);
        }
    }
    return !broken();
}

bool MpdReplyParser::line(std::string_view text,
                          const std::function<void(std::string_view)>& greeted,
                          const std::function<void(MpdReply&)>& reply) {
    if (!greeted_) {
        if (!text.starts_with("OK MPD ")) return fail("not an MPD server");
        greeted_ = true;
        greeted(text.substr(7));
        return true;
    }
    const auto finish = [&] {
        MpdReply done = std::move(current_);
        current_ = {};
        replyBytes_ = 0;
        reply(done);
        return true;
    };
    if (text == "OK") return finish();
    if (text.starts_with("ACK ")) {
        current_.ok = false;
        current_.error = text.substr(4);
        return finish();
    }
    const auto colon = text.find(": ");
    if (colon == std::string_view::npos || colon == 0) return fail("not a reply line");
    replyBytes_ += text.size();
    if (replyBytes_ > limits_.maxReplyBytes) return fail("reply too large");
    const std::string_view key = text.substr(0, colon);
    const std::string_view value = text.substr(colon + 2);
    if (key == "binary") {
        const auto size = number<std::size_t>(value);
        if (!size) return fail("binary size is not a number");
        if (*size > limits_.maxBinaryBytes || !current_.binary.empty())
            return fail("binary chunk too large");
        current_.binary.reserve(*size);
        binaryLeft_ = *size;
        inBinary_ = true;
        return true;
    }
    current_.pairs.emplace_back(key, value);
    return true;
}

MpdStatus parseStatus(const MpdReply& reply) {
    MpdStatus status;
    const auto state = reply.find("state");
    if (state == "play") status.state = MpdState::Play;
    if (state == "pause") status.state = MpdState::Pause;
    status.song = number<std::size_t>(reply.find("song"));
    status.nextSong = number<std::size_t>(reply.find("nextsong"));
    const auto elapsed = decimal(reply.find("elapsed"));
    if (elapsed && std::isfinite(*elapsed) && *elapsed >= 0 && *elapsed < 1e9)
        status.elapsed = *elapsed;
    status.queueLength = number<std::size_t>(reply.find("playlistlength")).value_or(0);
    status.queueVersion = reply.find("playlist").value_or("");
    if (status.song && *status.song >= status.queueLength) status.song.reset();
    if (status.nextSong && *status.nextSong >= status.queueLength) status.nextSong.reset();
    return status;
}

std::vector<MpdSong> parseSongs(const MpdReply& reply) {
    std::vector<MpdSong> songs;
    std::string albumArtist, name;
    double duration = -1;  // seconds; below 0 while the song gives none
    const auto complete = [&] {
        if (songs.empty()) return;
        Track& track = songs.back().track;
        if (track.artist.empty()) track.artist = albumArtist;
        if (track.title.empty()) track.title = name;
        if (track.title.empty()) {
            const std::string& file = songs.back().file;
            const auto slash = file.find_last_of('/');
            track.title = slash == std::string::npos || slash + 1 == file.size()
                              ? file
                              : file.substr(slash + 1);
        }
        track.lengthKnown = duration >= 0;
        track.seconds = std::max(1, static_cast<int>(std::lround(duration)));
        albumArtist.clear();
        name.clear();
        duration = -1;
    };
    for (const auto& [key, value] : reply.pairs) {
        if (key == "file") {
            complete();
            songs.push_back(MpdSong{value, {}, std::nullopt});
            continue;
        }
        if (songs.empty()) continue;
        MpdSong& song = songs.back();
        // A tag given twice keeps its first value, as the board has one line for it.
        if (key == "Artist" && song.track.artist.empty()) song.track.artist = value;
        if (key == "AlbumArtist" && albumArtist.empty()) albumArtist = value;
        if (key == "Title" && song.track.title.empty()) song.track.title = value;
        if (key == "Name" && name.empty()) name = value;
        if (key == "Album" && song.track.album.empty()) song.track.album = value;
        if (key == "Pos") song.position = number<std::size_t>(value);
        if (key == "duration" || (key == "Time" && duration < 0)) {
            const auto seconds = decimal(value);
            if (seconds && std::isfinite(*seconds) && *seconds >= 0 && *seconds < 1e7)
                duration = *seconds;
        }
    }
    complete();
    return songs;
}

}  // namespace velmora::jukebox
