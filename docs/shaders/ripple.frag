// Ripples over a texture (tex0: an image, or webcamtex for the live
// camera), spreading from the centre; amount sets their depth.
uniform sampler2D tex0;
uniform float time;
uniform float amount;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    vec2 d = uv - 0.5;
    float r = length(d);
    vec2 shift = r > 0.0 ? d / r * sin(r * 40.0 - time * 6.0) * amount * 0.02 : vec2(0.0);
    gl_FragColor = texture2D(tex0, uv + shift);
}
