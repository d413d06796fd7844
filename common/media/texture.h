// One OpenGL texture object: its GL name, its size fixed at creation and its
// bytes per pixel. Images are uploaded as 24-bit blue-green-red or 32-bit
// blue-green-red-alpha data, bottom row first, rows packed end to end.
//
// A plain value member of its owner: no virtual operations and no destructor
// of its own; the owner calls destroy(). Every operation but construction
// needs a current rendering context.
#pragma once

class cTexture {
public:
    // Makes the GL texture. Width and height must each be a power of two
    // from 8 to 2048; otherwise "error bad texture dimensions" is printed,
    // no GL name is made and the result is -1. Bits per pixel other than 24
    // or 32 give a texture name without an image.
    int create(int width, int height, int bitsPerPixel);
    // Makes the texture current for drawing: texturing on, linear filters,
    // repeat wrap, modulate. Does nothing while there is no texture.
    void bind();
    // Replaces the whole image with width x height x bytesPerPixel bytes.
    // Does nothing while there is no texture or without 3 or 4 bytes per pixel.
    void update(const void* pixels);
    // Deletes the GL texture; the size stays.
    void destroy();

    // True for the sides create() accepts.
    static bool validSide(int side);

    unsigned int id = 0; // GL texture name, 0 while there is none
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;
};
