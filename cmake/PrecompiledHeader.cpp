// The one source of the targets that make the shared precompiled headers (cmake/BuildSpeed.cmake).
namespace morvane {
}
