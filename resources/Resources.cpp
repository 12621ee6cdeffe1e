// Anchor of the resource library; the embedded data registers itself at start-up.
namespace vistrel {
void ResourcesLinked() {}
}
