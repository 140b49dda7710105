// Textures made from images: tiled, MIP-mapped TIFF files, beside a scene or
// in a cache folder, made again whenever the image they come from changes.
#ifndef QUOR_RENDER_TEXTURECACHE_H
#define QUOR_RENDER_TEXTURECACHE_H

#include <string>

namespace quor {
namespace render {

// The cache folder: $QUOR_TEXTURE_CACHE, else $XDG_CACHE_HOME/quor/textures,
// else $HOME/.cache/quor/textures. Empty when none of them is set.
std::string textureCacheFolder();

// The texture file of an image: the image's name with a hash of its
// absolute path and the extension ".tex", in the cache folder.
std::string texturePathFor(const std::string& image);

// Makes the texture of `image` as the file `texture`, or, when that is
// empty, as texturePathFor(image) in the cache; unless that file was made
// from the image as it is now (same path, modification time and size).
// True with the texture's path in `texture`; false with the reason.
bool makeTexture(const std::string& image, std::string& texture, std::string& error);

}  // namespace render
}  // namespace quor

#endif
