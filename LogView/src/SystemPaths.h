// File names as the viewer takes them in: Linux names are bytes, not necessarily UTF-8, so names
// from the command line and from drops are decoded byte for byte (undecodable bytes kept as the
// lone surrogates the platform turns back into the same bytes). Stateless; any thread.
#pragma once

#include <QString>

class QUrl;

// A path given as bytes (a command-line argument).
QString PathFromSystemBytes(const char* bytes);
// The local file path of url, byte for byte; empty when url is not a local file.
QString PathFromLocalFileUrl(const QUrl& url);
