// The desktop's registered programs through GIO, which reads the same
// mimeapps.list and .desktop files as xdg-mime. Loaded at run time: a desktop
// without it still has Qt's own open action.
#include <dlfcn.h>

#include <QByteArray>

#include "shell/gui/link_opener.h"

namespace quill::shell::gui {
namespace {

struct GList {
  void* data;
  GList* next;
  GList* prev;
};

struct Gio {
  using DefaultForType = void* (*)(const char* content_type, int must_support_uris);
  using DefaultForScheme = void* (*)(const char* scheme);
  using LaunchUris = int (*)(void* app, GList* uris, void* context, void** error);
  using Unref = void (*)(void* object);
  using ErrorFree = void (*)(void* error);

  DefaultForType default_for_type = nullptr;
  DefaultForScheme default_for_scheme = nullptr;
  LaunchUris launch_uris = nullptr;
  Unref unref = nullptr;
  ErrorFree error_free = nullptr;

  bool loaded() const { return default_for_type && default_for_scheme && launch_uris && unref && error_free; }
};

template <typename F>
F symbol(void* library, const char* name) {
  return reinterpret_cast<F>(dlsym(library, name));
}

const Gio& gio() {
  static const Gio loaded = [] {
    Gio g;
    void* library = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) return g;
    g.default_for_type = symbol<Gio::DefaultForType>(library, "g_app_info_get_default_for_type");
    g.default_for_scheme = symbol<Gio::DefaultForScheme>(library, "g_app_info_get_default_for_uri_scheme");
    g.launch_uris = symbol<Gio::LaunchUris>(library, "g_app_info_launch_uris");
    g.unref = symbol<Gio::Unref>(library, "g_object_unref");
    g.error_free = symbol<Gio::ErrorFree>(library, "g_error_free");
    return g;
  }();
  return loaded;
}

}  // namespace

bool DesktopHandlesScheme(const QString& scheme) {
  const Gio& g = gio();
  if (!g.loaded()) return true;
  void* app = g.default_for_scheme(scheme.toUtf8().constData());
  if (!app) return false;
  g.unref(app);
  return true;
}

bool StartHtmHandler(const QUrl& address) {
  const Gio& g = gio();
  if (!g.loaded()) return false;
  void* app = g.default_for_type("text/html", true);
  if (!app) app = g.default_for_type("text/html", false);
  if (!app) return false;
  QByteArray uri = address.toEncoded();
  GList uris{uri.data(), nullptr, nullptr};
  void* error = nullptr;
  const bool started = g.launch_uris(app, &uris, nullptr, &error);
  if (error) g.error_free(error);
  g.unref(app);
  return started;
}

}  // namespace quill::shell::gui
