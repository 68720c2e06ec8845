#include "app/code_environment.h"

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace startup {

namespace {

// Variables that name plugins, modules or the folders they are loaded from.
// QT_QPA_PLATFORM is not among them: it is checked against the platforms
// the runtime carries (app/display_choice.h).
const char* const kCodeVariables[] = {
    // Qt: plugin folders, and plugins chosen by name
    "QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH", "QT_QPA_PLATFORMTHEME", "QT_QPA_GENERIC_PLUGINS",
    "QT_STYLE_OVERRIDE", "QT_IM_MODULE", "QT_IM_MODULES", "QT_XCB_GL_INTEGRATION", "QT_QPA_EGLFS_INTEGRATION",
    "QT_WAYLAND_SHELL_INTEGRATION", "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "QT_WAYLAND_SERVER_BUFFER_INTEGRATION",
    "QT_WAYLAND_HARDWARE_INTEGRATION", "QT_WAYLAND_DECORATION",
    // GTK, GIO, GDK and GStreamer modules (a platform theme or a child may load them)
    "GTK_MODULES", "GTK3_MODULES", "GTK_PATH", "GTK_EXE_PREFIX", "GTK_IM_MODULE", "GTK_IM_MODULE_FILE",
    "GIO_MODULE_DIR", "GIO_EXTRA_MODULES", "GDK_PIXBUF_MODULEDIR", "GDK_PIXBUF_MODULE_FILE", "GST_PLUGIN_PATH",
    "GST_PLUGIN_PATH_1_0", "GST_PLUGIN_SYSTEM_PATH", "GST_PLUGIN_SYSTEM_PATH_1_0",
    // graphics drivers (EGL, OpenGL, GBM, video) and Vulkan layers: only the
    // system's own, from their system folders
    "LIBGL_DRIVERS_PATH", "__EGL_VENDOR_LIBRARY_DIRS", "__EGL_VENDOR_LIBRARY_FILENAMES", "__GLX_VENDOR_LIBRARY_NAME",
    "GBM_BACKENDS_PATH", "LIBVA_DRIVERS_PATH", "VDPAU_DRIVER_PATH", "VK_ICD_FILENAMES", "VK_DRIVER_FILES",
    "VK_LAYER_PATH", "VK_ADD_LAYER_PATH",
    // the C library's character set converters
    "GCONV_PATH"};

// Every variable of the dynamic loader (LD_PRELOAD, LD_LIBRARY_PATH,
// LD_AUDIT, ...): this process is loaded already, but a child would read them.
const char* const kCodePrefixes[] = {"LD_"};

}  // namespace

bool loadsCode(const std::string& name) {
  for (const char* variable : kCodeVariables)
    if (name == variable) return true;
  for (const char* prefix : kCodePrefixes)
    if (name.rfind(prefix, 0) == 0) return true;
  return false;
}

std::vector<std::string> dropCodeLoadingEnvironment() {
  std::vector<std::string> names;
  for (char** entry = environ; entry && *entry; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    std::string name = equals ? std::string(*entry, size_t(equals - *entry)) : std::string(*entry);
    if (loadsCode(name)) names.push_back(name);
  }
  // Removed after the walk: unsetenv changes the array walked.
  for (const std::string& name : names) unsetenv(name.c_str());
  return names;
}

}  // namespace startup
