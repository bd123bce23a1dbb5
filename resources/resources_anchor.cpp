// The resource library's code is generated; this file gives the target a source.
namespace orvane::resources {
int anchor() { return 0; }
}  // namespace orvane::resources
