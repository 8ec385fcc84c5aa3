#pragma once

#include "XmltvParser.h"

#include <atomic>

// Reads one guide from its address (GuideSources), a local file or an http(s)
// download, on the calling thread: the bytes go through GuideByteStream into
// XmltvParser as they arrive, so neither the file nor the download is ever
// held whole. A download follows the web client's rules: it is given up
// after 10 s without data, bounded in size, follows a few redirects (never to
// a less safe scheme) and asks for the body as it is, since a compressed
// transfer would be inflated before its size could be checked.
//
// It runs an event loop of its own for a download, so it belongs on a worker
// thread; pCancel, set from elsewhere, stops it within a tenth of a second.
namespace GuideReader {

struct Limits
{
    qint64 nMaxFileBytes = 512LL * 1024 * 1024; // what is read or downloaded
    qint64 nMaxXmlBytes = 1024LL * 1024 * 1024; // the XML after inflating
    int nTransferTimeoutMs = 10000;
    int nMaxRedirects = 5;
};

XmltvParser::Result read(const QString &strAddress, const GuideWanted &wanted, qint64 nFrom,
                         qint64 nTo, const std::atomic<bool> *pCancel = nullptr,
                         const Limits &limits = Limits());

} // namespace GuideReader
