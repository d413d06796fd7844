// The extension list of the loader: one row per flag, with the names of its
// entry points. GL names are those of the Khronos headers; the WGL names are
// those of the WGL extensions. Where an extension's functions are shared with
// another one, the row lists every function the extension itself defines
// (GL_ARB_vertex_program has the program calls of GL_ARB_fragment_program too;
// GL_ARB_imaging has the unsuffixed 1.2 imaging calls).
#include "player/extensions.h"

#include <cstring>

namespace {

// The tables keep several short rows to a line.
// clang-format off

// GL_NV_half_float has variants of calls that come from other features;
// those are fetched only when that feature is there.
constexpr sEntryPoint multiTexture(const char* name) { return {name, "GL_VERSION_1_3", "GL_ARB_multitexture"}; }
constexpr sEntryPoint fogCoord(const char* name) { return {name, "GL_EXT_fog_coord"}; }
constexpr sEntryPoint secondaryColor(const char* name) { return {name, "GL_EXT_secondary_color"}; }
constexpr sEntryPoint vertexWeight(const char* name) { return {name, "GL_EXT_vertex_weighting"}; }
constexpr sEntryPoint vertexProgram(const char* name) { return {name, "GL_NV_vertex_program"}; }

constexpr sEntryPoint kGL_VERSION_1_2[] = {
    {"glTexImage3D"}, {"glTexSubImage3D"}, {"glCopyTexSubImage3D"}, {"glDrawRangeElements"},
};
constexpr sEntryPoint kGL_VERSION_1_3[] = {
    {"glActiveTexture"}, {"glSampleCoverage"}, {"glCompressedTexImage3D"}, {"glCompressedTexImage2D"},
    {"glCompressedTexImage1D"}, {"glCompressedTexSubImage3D"}, {"glCompressedTexSubImage2D"},
    {"glCompressedTexSubImage1D"}, {"glGetCompressedTexImage"}, {"glClientActiveTexture"},
    {"glMultiTexCoord1d"}, {"glMultiTexCoord1dv"}, {"glMultiTexCoord1f"}, {"glMultiTexCoord1fv"},
    {"glMultiTexCoord1i"}, {"glMultiTexCoord1iv"}, {"glMultiTexCoord1s"}, {"glMultiTexCoord1sv"},
    {"glMultiTexCoord2d"}, {"glMultiTexCoord2dv"}, {"glMultiTexCoord2f"}, {"glMultiTexCoord2fv"},
    {"glMultiTexCoord2i"}, {"glMultiTexCoord2iv"}, {"glMultiTexCoord2s"}, {"glMultiTexCoord2sv"},
    {"glMultiTexCoord3d"}, {"glMultiTexCoord3dv"}, {"glMultiTexCoord3f"}, {"glMultiTexCoord3fv"},
    {"glMultiTexCoord3i"}, {"glMultiTexCoord3iv"}, {"glMultiTexCoord3s"}, {"glMultiTexCoord3sv"},
    {"glMultiTexCoord4d"}, {"glMultiTexCoord4dv"}, {"glMultiTexCoord4f"}, {"glMultiTexCoord4fv"},
    {"glMultiTexCoord4i"}, {"glMultiTexCoord4iv"}, {"glMultiTexCoord4s"}, {"glMultiTexCoord4sv"},
    {"glLoadTransposeMatrixf"}, {"glLoadTransposeMatrixd"}, {"glMultTransposeMatrixf"},
    {"glMultTransposeMatrixd"},
};
constexpr sEntryPoint kGL_VERSION_1_4[] = {
    {"glBlendColor"}, {"glBlendEquation"}, {"glBlendFuncSeparate"}, {"glMultiDrawArrays"},
    {"glMultiDrawElements"}, {"glPointParameterf"}, {"glPointParameterfv"}, {"glFogCoordf"}, {"glFogCoordfv"},
    {"glFogCoordd"}, {"glFogCoorddv"}, {"glFogCoordPointer"}, {"glSecondaryColor3b"}, {"glSecondaryColor3bv"},
    {"glSecondaryColor3d"}, {"glSecondaryColor3dv"}, {"glSecondaryColor3f"}, {"glSecondaryColor3fv"},
    {"glSecondaryColor3i"}, {"glSecondaryColor3iv"}, {"glSecondaryColor3s"}, {"glSecondaryColor3sv"},
    {"glSecondaryColor3ub"}, {"glSecondaryColor3ubv"}, {"glSecondaryColor3ui"}, {"glSecondaryColor3uiv"},
    {"glSecondaryColor3us"}, {"glSecondaryColor3usv"}, {"glSecondaryColorPointer"}, {"glWindowPos2d"},
    {"glWindowPos2dv"}, {"glWindowPos2f"}, {"glWindowPos2fv"}, {"glWindowPos2i"}, {"glWindowPos2iv"},
    {"glWindowPos2s"}, {"glWindowPos2sv"}, {"glWindowPos3d"}, {"glWindowPos3dv"}, {"glWindowPos3f"},
    {"glWindowPos3fv"}, {"glWindowPos3i"}, {"glWindowPos3iv"}, {"glWindowPos3s"}, {"glWindowPos3sv"},
};
constexpr sEntryPoint kGL_ARB_fragment_program[] = {
    {"glProgramStringARB"}, {"glBindProgramARB"}, {"glDeleteProgramsARB"}, {"glGenProgramsARB"},
    {"glProgramEnvParameter4dARB"}, {"glProgramEnvParameter4dvARB"}, {"glProgramEnvParameter4fARB"},
    {"glProgramEnvParameter4fvARB"}, {"glProgramLocalParameter4dARB"}, {"glProgramLocalParameter4dvARB"},
    {"glProgramLocalParameter4fARB"}, {"glProgramLocalParameter4fvARB"}, {"glGetProgramEnvParameterdvARB"},
    {"glGetProgramEnvParameterfvARB"}, {"glGetProgramLocalParameterdvARB"},
    {"glGetProgramLocalParameterfvARB"}, {"glGetProgramivARB"}, {"glGetProgramStringARB"}, {"glIsProgramARB"},
};
constexpr sEntryPoint kGL_ARB_imaging[] = {
    {"glBlendColor"}, {"glBlendEquation"}, {"glColorTable"}, {"glColorTableParameterfv"},
    {"glColorTableParameteriv"}, {"glCopyColorTable"}, {"glGetColorTable"}, {"glGetColorTableParameterfv"},
    {"glGetColorTableParameteriv"}, {"glColorSubTable"}, {"glCopyColorSubTable"}, {"glConvolutionFilter1D"},
    {"glConvolutionFilter2D"}, {"glConvolutionParameterf"}, {"glConvolutionParameterfv"},
    {"glConvolutionParameteri"}, {"glConvolutionParameteriv"}, {"glCopyConvolutionFilter1D"},
    {"glCopyConvolutionFilter2D"}, {"glGetConvolutionFilter"}, {"glGetConvolutionParameterfv"},
    {"glGetConvolutionParameteriv"}, {"glGetSeparableFilter"}, {"glSeparableFilter2D"}, {"glGetHistogram"},
    {"glGetHistogramParameterfv"}, {"glGetHistogramParameteriv"}, {"glGetMinmax"}, {"glGetMinmaxParameterfv"},
    {"glGetMinmaxParameteriv"}, {"glHistogram"}, {"glMinmax"}, {"glResetHistogram"}, {"glResetMinmax"},
};
constexpr sEntryPoint kGL_ARB_matrix_palette[] = {
    {"glCurrentPaletteMatrixARB"}, {"glMatrixIndexubvARB"}, {"glMatrixIndexusvARB"}, {"glMatrixIndexuivARB"},
    {"glMatrixIndexPointerARB"},
};
constexpr sEntryPoint kGL_ARB_multisample[] = {
    {"glSampleCoverageARB"},
};
constexpr sEntryPoint kGL_ARB_multitexture[] = {
    {"glActiveTextureARB"}, {"glClientActiveTextureARB"}, {"glMultiTexCoord1dARB"}, {"glMultiTexCoord1dvARB"},
    {"glMultiTexCoord1fARB"}, {"glMultiTexCoord1fvARB"}, {"glMultiTexCoord1iARB"}, {"glMultiTexCoord1ivARB"},
    {"glMultiTexCoord1sARB"}, {"glMultiTexCoord1svARB"}, {"glMultiTexCoord2dARB"}, {"glMultiTexCoord2dvARB"},
    {"glMultiTexCoord2fARB"}, {"glMultiTexCoord2fvARB"}, {"glMultiTexCoord2iARB"}, {"glMultiTexCoord2ivARB"},
    {"glMultiTexCoord2sARB"}, {"glMultiTexCoord2svARB"}, {"glMultiTexCoord3dARB"}, {"glMultiTexCoord3dvARB"},
    {"glMultiTexCoord3fARB"}, {"glMultiTexCoord3fvARB"}, {"glMultiTexCoord3iARB"}, {"glMultiTexCoord3ivARB"},
    {"glMultiTexCoord3sARB"}, {"glMultiTexCoord3svARB"}, {"glMultiTexCoord4dARB"}, {"glMultiTexCoord4dvARB"},
    {"glMultiTexCoord4fARB"}, {"glMultiTexCoord4fvARB"}, {"glMultiTexCoord4iARB"}, {"glMultiTexCoord4ivARB"},
    {"glMultiTexCoord4sARB"}, {"glMultiTexCoord4svARB"},
};
constexpr sEntryPoint kGL_ARB_point_parameters[] = {
    {"glPointParameterfARB"}, {"glPointParameterfvARB"},
};
constexpr sEntryPoint kGL_ARB_texture_compression[] = {
    {"glCompressedTexImage3DARB"}, {"glCompressedTexImage2DARB"}, {"glCompressedTexImage1DARB"},
    {"glCompressedTexSubImage3DARB"}, {"glCompressedTexSubImage2DARB"}, {"glCompressedTexSubImage1DARB"},
    {"glGetCompressedTexImageARB"},
};
constexpr sEntryPoint kGL_ARB_transpose_matrix[] = {
    {"glLoadTransposeMatrixfARB"}, {"glLoadTransposeMatrixdARB"}, {"glMultTransposeMatrixfARB"},
    {"glMultTransposeMatrixdARB"},
};
constexpr sEntryPoint kGL_ARB_vertex_blend[] = {
    {"glWeightbvARB"}, {"glWeightsvARB"}, {"glWeightivARB"}, {"glWeightfvARB"}, {"glWeightdvARB"},
    {"glWeightubvARB"}, {"glWeightusvARB"}, {"glWeightuivARB"}, {"glWeightPointerARB"}, {"glVertexBlendARB"},
};
constexpr sEntryPoint kGL_ARB_vertex_program[] = {
    {"glVertexAttrib1dARB"}, {"glVertexAttrib1dvARB"}, {"glVertexAttrib1fARB"}, {"glVertexAttrib1fvARB"},
    {"glVertexAttrib1sARB"}, {"glVertexAttrib1svARB"}, {"glVertexAttrib2dARB"}, {"glVertexAttrib2dvARB"},
    {"glVertexAttrib2fARB"}, {"glVertexAttrib2fvARB"}, {"glVertexAttrib2sARB"}, {"glVertexAttrib2svARB"},
    {"glVertexAttrib3dARB"}, {"glVertexAttrib3dvARB"}, {"glVertexAttrib3fARB"}, {"glVertexAttrib3fvARB"},
    {"glVertexAttrib3sARB"}, {"glVertexAttrib3svARB"}, {"glVertexAttrib4NbvARB"}, {"glVertexAttrib4NivARB"},
    {"glVertexAttrib4NsvARB"}, {"glVertexAttrib4NubARB"}, {"glVertexAttrib4NubvARB"},
    {"glVertexAttrib4NuivARB"}, {"glVertexAttrib4NusvARB"}, {"glVertexAttrib4bvARB"}, {"glVertexAttrib4dARB"},
    {"glVertexAttrib4dvARB"}, {"glVertexAttrib4fARB"}, {"glVertexAttrib4fvARB"}, {"glVertexAttrib4ivARB"},
    {"glVertexAttrib4sARB"}, {"glVertexAttrib4svARB"}, {"glVertexAttrib4ubvARB"}, {"glVertexAttrib4uivARB"},
    {"glVertexAttrib4usvARB"}, {"glVertexAttribPointerARB"}, {"glEnableVertexAttribArrayARB"},
    {"glDisableVertexAttribArrayARB"}, {"glGetVertexAttribdvARB"}, {"glGetVertexAttribfvARB"},
    {"glGetVertexAttribivARB"}, {"glGetVertexAttribPointervARB"}, {"glProgramStringARB"},
    {"glBindProgramARB"}, {"glDeleteProgramsARB"}, {"glGenProgramsARB"}, {"glProgramEnvParameter4dARB"},
    {"glProgramEnvParameter4dvARB"}, {"glProgramEnvParameter4fARB"}, {"glProgramEnvParameter4fvARB"},
    {"glProgramLocalParameter4dARB"}, {"glProgramLocalParameter4dvARB"}, {"glProgramLocalParameter4fARB"},
    {"glProgramLocalParameter4fvARB"}, {"glGetProgramEnvParameterdvARB"}, {"glGetProgramEnvParameterfvARB"},
    {"glGetProgramLocalParameterdvARB"}, {"glGetProgramLocalParameterfvARB"}, {"glGetProgramivARB"},
    {"glGetProgramStringARB"}, {"glIsProgramARB"},
};
constexpr sEntryPoint kGL_ARB_window_pos[] = {
    {"glWindowPos2dARB"}, {"glWindowPos2dvARB"}, {"glWindowPos2fARB"}, {"glWindowPos2fvARB"},
    {"glWindowPos2iARB"}, {"glWindowPos2ivARB"}, {"glWindowPos2sARB"}, {"glWindowPos2svARB"},
    {"glWindowPos3dARB"}, {"glWindowPos3dvARB"}, {"glWindowPos3fARB"}, {"glWindowPos3fvARB"},
    {"glWindowPos3iARB"}, {"glWindowPos3ivARB"}, {"glWindowPos3sARB"}, {"glWindowPos3svARB"},
};
constexpr sEntryPoint kGL_ATI_draw_buffers[] = {
    {"glDrawBuffersATI"},
};
constexpr sEntryPoint kGL_ATI_element_array[] = {
    {"glElementPointerATI"}, {"glDrawElementArrayATI"}, {"glDrawRangeElementArrayATI"},
};
constexpr sEntryPoint kGL_ATI_envmap_bumpmap[] = {
    {"glTexBumpParameterivATI"}, {"glTexBumpParameterfvATI"}, {"glGetTexBumpParameterivATI"},
    {"glGetTexBumpParameterfvATI"},
};
constexpr sEntryPoint kGL_ATI_fragment_shader[] = {
    {"glGenFragmentShadersATI"}, {"glBindFragmentShaderATI"}, {"glDeleteFragmentShaderATI"},
    {"glBeginFragmentShaderATI"}, {"glEndFragmentShaderATI"}, {"glPassTexCoordATI"}, {"glSampleMapATI"},
    {"glColorFragmentOp1ATI"}, {"glColorFragmentOp2ATI"}, {"glColorFragmentOp3ATI"},
    {"glAlphaFragmentOp1ATI"}, {"glAlphaFragmentOp2ATI"}, {"glAlphaFragmentOp3ATI"},
    {"glSetFragmentShaderConstantATI"},
};
constexpr sEntryPoint kGL_ATI_map_object_buffer[] = {
    {"glMapObjectBufferATI"}, {"glUnmapObjectBufferATI"},
};
constexpr sEntryPoint kGL_ATI_pn_triangles[] = {
    {"glPNTrianglesiATI"}, {"glPNTrianglesfATI"},
};
constexpr sEntryPoint kGL_ATI_separate_stencil[] = {
    {"glStencilOpSeparateATI"}, {"glStencilFuncSeparateATI"},
};
constexpr sEntryPoint kGL_ATI_vertex_array_object[] = {
    {"glNewObjectBufferATI"}, {"glIsObjectBufferATI"}, {"glUpdateObjectBufferATI"},
    {"glGetObjectBufferfvATI"}, {"glGetObjectBufferivATI"}, {"glFreeObjectBufferATI"}, {"glArrayObjectATI"},
    {"glGetArrayObjectfvATI"}, {"glGetArrayObjectivATI"}, {"glVariantArrayObjectATI"},
    {"glGetVariantArrayObjectfvATI"}, {"glGetVariantArrayObjectivATI"},
};
constexpr sEntryPoint kGL_ATI_vertex_attrib_array_object[] = {
    {"glVertexAttribArrayObjectATI"}, {"glGetVertexAttribArrayObjectfvATI"},
    {"glGetVertexAttribArrayObjectivATI"},
};
// The 2- to 4-component vertex streams of the original extension (later
// revisions added 1-component forms, which drivers of its time lack), the
// normal streams and the stream controls.
constexpr sEntryPoint kGL_ATI_vertex_streams[] = {
    {"glVertexStream2sATI"}, {"glVertexStream2svATI"}, {"glVertexStream2iATI"}, {"glVertexStream2ivATI"},
    {"glVertexStream2fATI"}, {"glVertexStream2fvATI"}, {"glVertexStream2dATI"}, {"glVertexStream2dvATI"},
    {"glVertexStream3sATI"}, {"glVertexStream3svATI"}, {"glVertexStream3iATI"}, {"glVertexStream3ivATI"},
    {"glVertexStream3fATI"}, {"glVertexStream3fvATI"}, {"glVertexStream3dATI"}, {"glVertexStream3dvATI"},
    {"glVertexStream4sATI"}, {"glVertexStream4svATI"}, {"glVertexStream4iATI"}, {"glVertexStream4ivATI"},
    {"glVertexStream4fATI"}, {"glVertexStream4fvATI"}, {"glVertexStream4dATI"}, {"glVertexStream4dvATI"},
    {"glNormalStream3bATI"}, {"glNormalStream3bvATI"}, {"glNormalStream3sATI"}, {"glNormalStream3svATI"},
    {"glNormalStream3iATI"}, {"glNormalStream3ivATI"}, {"glNormalStream3fATI"}, {"glNormalStream3fvATI"},
    {"glNormalStream3dATI"}, {"glNormalStream3dvATI"}, {"glClientActiveVertexStreamATI"},
    {"glVertexBlendEnviATI"}, {"glVertexBlendEnvfATI"},
};
constexpr sEntryPoint kGL_EXT_blend_color[] = {
    {"glBlendColorEXT"},
};
constexpr sEntryPoint kGL_EXT_blend_func_separate[] = {
    {"glBlendFuncSeparateEXT"},
};
constexpr sEntryPoint kGL_EXT_blend_minmax[] = {
    {"glBlendEquationEXT"},
};
constexpr sEntryPoint kGL_EXT_compiled_vertex_array[] = {
    {"glLockArraysEXT"}, {"glUnlockArraysEXT"},
};
constexpr sEntryPoint kGL_EXT_cull_vertex[] = {
    {"glCullParameterdvEXT"}, {"glCullParameterfvEXT"},
};
constexpr sEntryPoint kGL_EXT_draw_range_elements[] = {
    {"glDrawRangeElementsEXT"},
};
constexpr sEntryPoint kGL_EXT_fog_coord[] = {
    {"glFogCoordfEXT"}, {"glFogCoordfvEXT"}, {"glFogCoorddEXT"}, {"glFogCoorddvEXT"},
    {"glFogCoordPointerEXT"},
};
constexpr sEntryPoint kGL_EXT_multi_draw_arrays[] = {
    {"glMultiDrawArraysEXT"}, {"glMultiDrawElementsEXT"},
};
constexpr sEntryPoint kGL_EXT_point_parameters[] = {
    {"glPointParameterfEXT"}, {"glPointParameterfvEXT"},
};
constexpr sEntryPoint kGL_EXT_secondary_color[] = {
    {"glSecondaryColor3bEXT"}, {"glSecondaryColor3bvEXT"}, {"glSecondaryColor3dEXT"},
    {"glSecondaryColor3dvEXT"}, {"glSecondaryColor3fEXT"}, {"glSecondaryColor3fvEXT"},
    {"glSecondaryColor3iEXT"}, {"glSecondaryColor3ivEXT"}, {"glSecondaryColor3sEXT"},
    {"glSecondaryColor3svEXT"}, {"glSecondaryColor3ubEXT"}, {"glSecondaryColor3ubvEXT"},
    {"glSecondaryColor3uiEXT"}, {"glSecondaryColor3uivEXT"}, {"glSecondaryColor3usEXT"},
    {"glSecondaryColor3usvEXT"}, {"glSecondaryColorPointerEXT"},
};
constexpr sEntryPoint kGL_EXT_stencil_two_side[] = {
    {"glActiveStencilFaceEXT"},
};
constexpr sEntryPoint kGL_EXT_vertex_shader[] = {
    {"glBeginVertexShaderEXT"}, {"glEndVertexShaderEXT"}, {"glBindVertexShaderEXT"},
    {"glGenVertexShadersEXT"}, {"glDeleteVertexShaderEXT"}, {"glShaderOp1EXT"}, {"glShaderOp2EXT"},
    {"glShaderOp3EXT"}, {"glSwizzleEXT"}, {"glWriteMaskEXT"}, {"glInsertComponentEXT"},
    {"glExtractComponentEXT"}, {"glGenSymbolsEXT"}, {"glSetInvariantEXT"}, {"glSetLocalConstantEXT"},
    {"glVariantbvEXT"}, {"glVariantsvEXT"}, {"glVariantivEXT"}, {"glVariantfvEXT"}, {"glVariantdvEXT"},
    {"glVariantubvEXT"}, {"glVariantusvEXT"}, {"glVariantuivEXT"}, {"glVariantPointerEXT"},
    {"glEnableVariantClientStateEXT"}, {"glDisableVariantClientStateEXT"}, {"glBindLightParameterEXT"},
    {"glBindMaterialParameterEXT"}, {"glBindTexGenParameterEXT"}, {"glBindTextureUnitParameterEXT"},
    {"glBindParameterEXT"}, {"glIsVariantEnabledEXT"}, {"glGetVariantBooleanvEXT"},
    {"glGetVariantIntegervEXT"}, {"glGetVariantFloatvEXT"}, {"glGetVariantPointervEXT"},
    {"glGetInvariantBooleanvEXT"}, {"glGetInvariantIntegervEXT"}, {"glGetInvariantFloatvEXT"},
    {"glGetLocalConstantBooleanvEXT"}, {"glGetLocalConstantIntegervEXT"}, {"glGetLocalConstantFloatvEXT"},
};
constexpr sEntryPoint kGL_EXT_vertex_weighting[] = {
    {"glVertexWeightfEXT"}, {"glVertexWeightfvEXT"}, {"glVertexWeightPointerEXT"},
};
// Not in the Khronos headers; the names follow the extension's own text.
constexpr sEntryPoint kGL_NV_element_array[] = {
    {"glElementPointerNV"}, {"glDrawElementArrayNV"}, {"glDrawRangeElementArrayNV"},
    {"glMultiDrawElementArrayNV"}, {"glMultiDrawRangeElementArrayNV"},
};
constexpr sEntryPoint kGL_NV_fence[] = {
    {"glDeleteFencesNV"}, {"glGenFencesNV"}, {"glIsFenceNV"}, {"glTestFenceNV"}, {"glGetFenceivNV"},
    {"glFinishFenceNV"}, {"glSetFenceNV"},
};
constexpr sEntryPoint kGL_NV_fragment_program[] = {
    {"glProgramNamedParameter4fNV"}, {"glProgramNamedParameter4fvNV"}, {"glProgramNamedParameter4dNV"},
    {"glProgramNamedParameter4dvNV"}, {"glGetProgramNamedParameterfvNV"}, {"glGetProgramNamedParameterdvNV"},
};
constexpr sEntryPoint kGL_NV_half_float[] = {
    {"glVertex2hNV"}, {"glVertex2hvNV"}, {"glVertex3hNV"}, {"glVertex3hvNV"}, {"glVertex4hNV"},
    {"glVertex4hvNV"}, {"glNormal3hNV"}, {"glNormal3hvNV"}, {"glColor3hNV"}, {"glColor3hvNV"},
    {"glColor4hNV"}, {"glColor4hvNV"}, {"glTexCoord1hNV"}, {"glTexCoord1hvNV"}, {"glTexCoord2hNV"},
    {"glTexCoord2hvNV"}, {"glTexCoord3hNV"}, {"glTexCoord3hvNV"}, {"glTexCoord4hNV"}, {"glTexCoord4hvNV"},
    multiTexture("glMultiTexCoord1hNV"), multiTexture("glMultiTexCoord1hvNV"),
    multiTexture("glMultiTexCoord2hNV"), multiTexture("glMultiTexCoord2hvNV"),
    multiTexture("glMultiTexCoord3hNV"), multiTexture("glMultiTexCoord3hvNV"),
    multiTexture("glMultiTexCoord4hNV"), multiTexture("glMultiTexCoord4hvNV"),
    fogCoord("glFogCoordhNV"), fogCoord("glFogCoordhvNV"),
    secondaryColor("glSecondaryColor3hNV"), secondaryColor("glSecondaryColor3hvNV"),
    vertexWeight("glVertexWeighthNV"), vertexWeight("glVertexWeighthvNV"),
    vertexProgram("glVertexAttrib1hNV"), vertexProgram("glVertexAttrib1hvNV"),
    vertexProgram("glVertexAttrib2hNV"), vertexProgram("glVertexAttrib2hvNV"),
    vertexProgram("glVertexAttrib3hNV"), vertexProgram("glVertexAttrib3hvNV"),
    vertexProgram("glVertexAttrib4hNV"), vertexProgram("glVertexAttrib4hvNV"),
    vertexProgram("glVertexAttribs1hvNV"), vertexProgram("glVertexAttribs2hvNV"),
    vertexProgram("glVertexAttribs3hvNV"), vertexProgram("glVertexAttribs4hvNV"),
};
constexpr sEntryPoint kGL_NV_occlusion_query[] = {
    {"glGenOcclusionQueriesNV"}, {"glDeleteOcclusionQueriesNV"}, {"glIsOcclusionQueryNV"},
    {"glBeginOcclusionQueryNV"}, {"glEndOcclusionQueryNV"}, {"glGetOcclusionQueryivNV"},
    {"glGetOcclusionQueryuivNV"},
};
constexpr sEntryPoint kGL_NV_pixel_data_range[] = {
    {"glPixelDataRangeNV"}, {"glFlushPixelDataRangeNV"},
};
constexpr sEntryPoint kGL_NV_point_sprite[] = {
    {"glPointParameteriNV"}, {"glPointParameterivNV"},
};
constexpr sEntryPoint kGL_NV_primitive_restart[] = {
    {"glPrimitiveRestartNV"}, {"glPrimitiveRestartIndexNV"},
};
constexpr sEntryPoint kGL_NV_register_combiners[] = {
    {"glCombinerParameterfvNV"}, {"glCombinerParameterfNV"}, {"glCombinerParameterivNV"},
    {"glCombinerParameteriNV"}, {"glCombinerInputNV"}, {"glCombinerOutputNV"}, {"glFinalCombinerInputNV"},
    {"glGetCombinerInputParameterfvNV"}, {"glGetCombinerInputParameterivNV"},
    {"glGetCombinerOutputParameterfvNV"}, {"glGetCombinerOutputParameterivNV"},
    {"glGetFinalCombinerInputParameterfvNV"}, {"glGetFinalCombinerInputParameterivNV"},
};
constexpr sEntryPoint kGL_NV_register_combiners2[] = {
    {"glCombinerStageParameterfvNV"}, {"glGetCombinerStageParameterfvNV"},
};
// The memory for the range comes from the window system.
constexpr sEntryPoint kGL_NV_vertex_array_range[] = {
    {"glFlushVertexArrayRangeNV"}, {"glVertexArrayRangeNV"}, {"wglAllocateMemoryNV"}, {"wglFreeMemoryNV"},
};
constexpr sEntryPoint kGL_NV_vertex_program[] = {
    {"glAreProgramsResidentNV"}, {"glBindProgramNV"}, {"glDeleteProgramsNV"}, {"glExecuteProgramNV"},
    {"glGenProgramsNV"}, {"glGetProgramParameterdvNV"}, {"glGetProgramParameterfvNV"}, {"glGetProgramivNV"},
    {"glGetProgramStringNV"}, {"glGetTrackMatrixivNV"}, {"glGetVertexAttribdvNV"}, {"glGetVertexAttribfvNV"},
    {"glGetVertexAttribivNV"}, {"glGetVertexAttribPointervNV"}, {"glIsProgramNV"}, {"glLoadProgramNV"},
    {"glProgramParameter4dNV"}, {"glProgramParameter4dvNV"}, {"glProgramParameter4fNV"},
    {"glProgramParameter4fvNV"}, {"glProgramParameters4dvNV"}, {"glProgramParameters4fvNV"},
    {"glRequestResidentProgramsNV"}, {"glTrackMatrixNV"}, {"glVertexAttribPointerNV"}, {"glVertexAttrib1dNV"},
    {"glVertexAttrib1dvNV"}, {"glVertexAttrib1fNV"}, {"glVertexAttrib1fvNV"}, {"glVertexAttrib1sNV"},
    {"glVertexAttrib1svNV"}, {"glVertexAttrib2dNV"}, {"glVertexAttrib2dvNV"}, {"glVertexAttrib2fNV"},
    {"glVertexAttrib2fvNV"}, {"glVertexAttrib2sNV"}, {"glVertexAttrib2svNV"}, {"glVertexAttrib3dNV"},
    {"glVertexAttrib3dvNV"}, {"glVertexAttrib3fNV"}, {"glVertexAttrib3fvNV"}, {"glVertexAttrib3sNV"},
    {"glVertexAttrib3svNV"}, {"glVertexAttrib4dNV"}, {"glVertexAttrib4dvNV"}, {"glVertexAttrib4fNV"},
    {"glVertexAttrib4fvNV"}, {"glVertexAttrib4sNV"}, {"glVertexAttrib4svNV"}, {"glVertexAttrib4ubNV"},
    {"glVertexAttrib4ubvNV"}, {"glVertexAttribs1dvNV"}, {"glVertexAttribs1fvNV"}, {"glVertexAttribs1svNV"},
    {"glVertexAttribs2dvNV"}, {"glVertexAttribs2fvNV"}, {"glVertexAttribs2svNV"}, {"glVertexAttribs3dvNV"},
    {"glVertexAttribs3fvNV"}, {"glVertexAttribs3svNV"}, {"glVertexAttribs4dvNV"}, {"glVertexAttribs4fvNV"},
    {"glVertexAttribs4svNV"}, {"glVertexAttribs4ubvNV"},
};
constexpr sEntryPoint kWGL_ARB_buffer_region[] = {
    {"wglCreateBufferRegionARB"}, {"wglDeleteBufferRegionARB"}, {"wglSaveBufferRegionARB"},
    {"wglRestoreBufferRegionARB"},
};
constexpr sEntryPoint kWGL_ARB_make_current_read[] = {
    {"wglMakeContextCurrentARB"}, {"wglGetCurrentReadDCARB"},
};
constexpr sEntryPoint kWGL_ARB_pbuffer[] = {
    {"wglCreatePbufferARB"}, {"wglGetPbufferDCARB"}, {"wglReleasePbufferDCARB"}, {"wglDestroyPbufferARB"},
    {"wglQueryPbufferARB"},
};
constexpr sEntryPoint kWGL_ARB_pixel_format[] = {
    {"wglGetPixelFormatAttribivARB"}, {"wglGetPixelFormatAttribfvARB"}, {"wglChoosePixelFormatARB"},
};
constexpr sEntryPoint kWGL_ARB_render_texture[] = {
    {"wglBindTexImageARB"}, {"wglReleaseTexImageARB"}, {"wglSetPbufferAttribARB"},
};
constexpr sEntryPoint kWGL_EXT_swap_control[] = {
    {"wglSwapIntervalEXT"}, {"wglGetSwapIntervalEXT"},
};

// The two extension-string entry points have a flag each: set when the
// entry point itself exists.
constexpr sEntryPoint kwglGetExtensionsStringARB[] = {{"wglGetExtensionsStringARB"}};
constexpr sEntryPoint kwglGetExtensionsStringEXT[] = {{"wglGetExtensionsStringEXT"}};

template <int N>
constexpr sExtensionRow withEntryPoints(const char* name, ExtensionKind kind, const sEntryPoint (&entryPoints)[N])
{
    return {name, kind, entryPoints, N};
}
constexpr sExtensionRow flagOnly(const char* name, ExtensionKind kind) { return {name, kind, nullptr, 0}; }

constexpr sExtensionRow kRows[] = {
    withEntryPoints("GL_VERSION_1_2", ExtensionKind::coreVersion, kGL_VERSION_1_2),
    withEntryPoints("GL_VERSION_1_3", ExtensionKind::coreVersion, kGL_VERSION_1_3),
    withEntryPoints("GL_VERSION_1_4", ExtensionKind::coreVersion, kGL_VERSION_1_4),
    withEntryPoints("GL_ARB_fragment_program", ExtensionKind::glExtension, kGL_ARB_fragment_program),
    withEntryPoints("GL_ARB_imaging", ExtensionKind::glExtension, kGL_ARB_imaging),
    withEntryPoints("GL_ARB_matrix_palette", ExtensionKind::glExtension, kGL_ARB_matrix_palette),
    withEntryPoints("GL_ARB_multisample", ExtensionKind::glExtension, kGL_ARB_multisample),
    withEntryPoints("GL_ARB_multitexture", ExtensionKind::glExtension, kGL_ARB_multitexture),
    withEntryPoints("GL_ARB_point_parameters", ExtensionKind::glExtension, kGL_ARB_point_parameters),
    withEntryPoints("GL_ARB_texture_compression", ExtensionKind::glExtension, kGL_ARB_texture_compression),
    withEntryPoints("GL_ARB_transpose_matrix", ExtensionKind::glExtension, kGL_ARB_transpose_matrix),
    withEntryPoints("GL_ARB_vertex_blend", ExtensionKind::glExtension, kGL_ARB_vertex_blend),
    withEntryPoints("GL_ARB_vertex_program", ExtensionKind::glExtension, kGL_ARB_vertex_program),
    withEntryPoints("GL_ARB_window_pos", ExtensionKind::glExtension, kGL_ARB_window_pos),
    withEntryPoints("GL_ATI_draw_buffers", ExtensionKind::glExtension, kGL_ATI_draw_buffers),
    withEntryPoints("GL_ATI_element_array", ExtensionKind::glExtension, kGL_ATI_element_array),
    withEntryPoints("GL_ATI_envmap_bumpmap", ExtensionKind::glExtension, kGL_ATI_envmap_bumpmap),
    withEntryPoints("GL_ATI_fragment_shader", ExtensionKind::glExtension, kGL_ATI_fragment_shader),
    withEntryPoints("GL_ATI_map_object_buffer", ExtensionKind::glExtension, kGL_ATI_map_object_buffer),
    withEntryPoints("GL_ATI_pn_triangles", ExtensionKind::glExtension, kGL_ATI_pn_triangles),
    withEntryPoints("GL_ATI_separate_stencil", ExtensionKind::glExtension, kGL_ATI_separate_stencil),
    withEntryPoints("GL_ATI_vertex_array_object", ExtensionKind::glExtension, kGL_ATI_vertex_array_object),
    withEntryPoints("GL_ATI_vertex_attrib_array_object", ExtensionKind::glExtension, kGL_ATI_vertex_attrib_array_object),
    withEntryPoints("GL_ATI_vertex_streams", ExtensionKind::glExtension, kGL_ATI_vertex_streams),
    withEntryPoints("GL_EXT_blend_color", ExtensionKind::glExtension, kGL_EXT_blend_color),
    withEntryPoints("GL_EXT_blend_func_separate", ExtensionKind::glExtension, kGL_EXT_blend_func_separate),
    withEntryPoints("GL_EXT_blend_minmax", ExtensionKind::glExtension, kGL_EXT_blend_minmax),
    withEntryPoints("GL_EXT_compiled_vertex_array", ExtensionKind::glExtension, kGL_EXT_compiled_vertex_array),
    withEntryPoints("GL_EXT_cull_vertex", ExtensionKind::glExtension, kGL_EXT_cull_vertex),
    withEntryPoints("GL_EXT_draw_range_elements", ExtensionKind::glExtension, kGL_EXT_draw_range_elements),
    withEntryPoints("GL_EXT_fog_coord", ExtensionKind::glExtension, kGL_EXT_fog_coord),
    withEntryPoints("GL_EXT_multi_draw_arrays", ExtensionKind::glExtension, kGL_EXT_multi_draw_arrays),
    withEntryPoints("GL_EXT_point_parameters", ExtensionKind::glExtension, kGL_EXT_point_parameters),
    withEntryPoints("GL_EXT_secondary_color", ExtensionKind::glExtension, kGL_EXT_secondary_color),
    withEntryPoints("GL_EXT_stencil_two_side", ExtensionKind::glExtension, kGL_EXT_stencil_two_side),
    withEntryPoints("GL_EXT_vertex_shader", ExtensionKind::glExtension, kGL_EXT_vertex_shader),
    withEntryPoints("GL_EXT_vertex_weighting", ExtensionKind::glExtension, kGL_EXT_vertex_weighting),
    withEntryPoints("GL_NV_element_array", ExtensionKind::glExtension, kGL_NV_element_array),
    withEntryPoints("GL_NV_fence", ExtensionKind::glExtension, kGL_NV_fence),
    withEntryPoints("GL_NV_fragment_program", ExtensionKind::glExtension, kGL_NV_fragment_program),
    withEntryPoints("GL_NV_half_float", ExtensionKind::glExtension, kGL_NV_half_float),
    withEntryPoints("GL_NV_occlusion_query", ExtensionKind::glExtension, kGL_NV_occlusion_query),
    withEntryPoints("GL_NV_pixel_data_range", ExtensionKind::glExtension, kGL_NV_pixel_data_range),
    withEntryPoints("GL_NV_point_sprite", ExtensionKind::glExtension, kGL_NV_point_sprite),
    withEntryPoints("GL_NV_primitive_restart", ExtensionKind::glExtension, kGL_NV_primitive_restart),
    withEntryPoints("GL_NV_register_combiners", ExtensionKind::glExtension, kGL_NV_register_combiners),
    withEntryPoints("GL_NV_register_combiners2", ExtensionKind::glExtension, kGL_NV_register_combiners2),
    withEntryPoints("GL_NV_vertex_array_range", ExtensionKind::glExtension, kGL_NV_vertex_array_range),
    withEntryPoints("GL_NV_vertex_program", ExtensionKind::glExtension, kGL_NV_vertex_program),
    flagOnly("GL_ARB_depth_texture", ExtensionKind::glExtension),
    flagOnly("GL_ARB_shadow", ExtensionKind::glExtension),
    flagOnly("GL_ARB_shadow_ambient", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_border_clamp", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_cube_map", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_env_add", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_env_combine", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_env_crossbar", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_env_dot3", ExtensionKind::glExtension),
    flagOnly("GL_ARB_texture_mirrored_repeat", ExtensionKind::glExtension),
    flagOnly("GL_ATIX_point_sprites", ExtensionKind::glExtension),
    flagOnly("GL_ATIX_texture_env_route", ExtensionKind::glExtension),
    flagOnly("GL_ATI_point_cull_mode", ExtensionKind::glExtension),
    flagOnly("GL_ATI_text_fragment_shader", ExtensionKind::glExtension),
    flagOnly("GL_ATI_texture_env_combine3", ExtensionKind::glExtension),
    flagOnly("GL_ATI_texture_float", ExtensionKind::glExtension),
    flagOnly("GL_ATI_texture_mirror_once", ExtensionKind::glExtension),
    flagOnly("GL_EXT_abgr", ExtensionKind::glExtension),
    flagOnly("GL_EXT_bgra", ExtensionKind::glExtension),
    flagOnly("GL_EXT_blend_subtract", ExtensionKind::glExtension),
    flagOnly("GL_EXT_separate_specular_color", ExtensionKind::glExtension),
    flagOnly("GL_EXT_shadow_funcs", ExtensionKind::glExtension),
    flagOnly("GL_EXT_stencil_wrap", ExtensionKind::glExtension),
    flagOnly("GL_EXT_texture_compression_s3tc", ExtensionKind::glExtension),
    flagOnly("GL_EXT_texture_env_combine", ExtensionKind::glExtension),
    flagOnly("GL_EXT_texture_filter_anisotropic", ExtensionKind::glExtension),
    flagOnly("GL_EXT_texture_lod_bias", ExtensionKind::glExtension),
    flagOnly("GL_HP_occlusion_test", ExtensionKind::glExtension),
    flagOnly("GL_NV_blend_square", ExtensionKind::glExtension),
    flagOnly("GL_NV_copy_depth_to_color", ExtensionKind::glExtension),
    flagOnly("GL_NV_depth_clamp", ExtensionKind::glExtension),
    flagOnly("GL_NV_evaluators", ExtensionKind::glExtension),
    flagOnly("GL_NV_float_buffer", ExtensionKind::glExtension),
    flagOnly("GL_NV_fog_distance", ExtensionKind::glExtension),
    flagOnly("GL_NV_light_max_exponent", ExtensionKind::glExtension),
    flagOnly("GL_NV_packed_depth_stencil", ExtensionKind::glExtension),
    flagOnly("GL_NV_texgen_reflection", ExtensionKind::glExtension),
    flagOnly("GL_NV_texture_env_combine4", ExtensionKind::glExtension),
    flagOnly("GL_NV_texture_expand_normal", ExtensionKind::glExtension),
    flagOnly("GL_NV_texture_rectangle", ExtensionKind::glExtension),
    flagOnly("GL_NV_texture_shader", ExtensionKind::glExtension),
    flagOnly("GL_NV_texture_shader2", ExtensionKind::glExtension),
    flagOnly("GL_NV_texture_shader3", ExtensionKind::glExtension),
    flagOnly("GL_NV_vertex_array_range2", ExtensionKind::glExtension),
    flagOnly("GL_NV_vertex_program1_1", ExtensionKind::glExtension),
    flagOnly("GL_NV_vertex_program2", ExtensionKind::glExtension),
    flagOnly("GL_SGIS_generate_mipmap", ExtensionKind::glExtension),
    flagOnly("GL_SGIS_texture_lod", ExtensionKind::glExtension),
    flagOnly("GL_SGIX_depth_texture", ExtensionKind::glExtension),
    flagOnly("GL_SGIX_shadow", ExtensionKind::glExtension),
    withEntryPoints("wglGetExtensionsStringARB", ExtensionKind::wglStringProc, kwglGetExtensionsStringARB),
    withEntryPoints("wglGetExtensionsStringEXT", ExtensionKind::wglStringProc, kwglGetExtensionsStringEXT),
    withEntryPoints("WGL_ARB_buffer_region", ExtensionKind::wglExtension, kWGL_ARB_buffer_region),
    withEntryPoints("WGL_ARB_make_current_read", ExtensionKind::wglExtension, kWGL_ARB_make_current_read),
    flagOnly("WGL_ARB_multisample", ExtensionKind::wglExtension),
    withEntryPoints("WGL_ARB_pbuffer", ExtensionKind::wglExtension, kWGL_ARB_pbuffer),
    withEntryPoints("WGL_ARB_pixel_format", ExtensionKind::wglExtension, kWGL_ARB_pixel_format),
    withEntryPoints("WGL_ARB_render_texture", ExtensionKind::wglExtension, kWGL_ARB_render_texture),
    flagOnly("WGL_ATI_pixel_format_float", ExtensionKind::wglExtension),
    withEntryPoints("WGL_EXT_swap_control", ExtensionKind::wglExtension, kWGL_EXT_swap_control),
    flagOnly("WGL_NV_render_depth_texture", ExtensionKind::wglExtension),
    flagOnly("WGL_NV_render_texture_rectangle", ExtensionKind::wglExtension),
};

static_assert(sizeof kRows / sizeof kRows[0] == kExtensionRowCount, "one row per flag");

constexpr int countEntryPoints()
{
    int n = 0;
    for (const sExtensionRow& row : kRows)
        n += row.entryPointCount;
    return n;
}
static_assert(countEntryPoints() == kEntryPointCount, "procs holds every entry point");

struct Offsets {
    int first[kExtensionRowCount];
};
constexpr Offsets makeOffsets()
{
    Offsets o{};
    int n = 0;
    for (int i = 0; i < kExtensionRowCount; ++i) {
        o.first[i] = n;
        n += kRows[i].entryPointCount;
    }
    return o;
}
constexpr Offsets kOffsets = makeOffsets();

// clang-format on
} // namespace

const sExtensionRow* extensionTable() { return kRows; }

int firstEntryPoint(int row) { return row >= 0 && row < kExtensionRowCount ? kOffsets.first[row] : 0; }

int extensionRow(const char* name)
{
    if (!name) return -1;
    for (int i = 0; i < kExtensionRowCount; ++i)
        if (std::strcmp(kRows[i].name, name) == 0) return i;
    return -1;
}
