// The music as bars: 64 columns, each the loudest of four neighbouring
// bands of the spectrum texture's row 0, and the waveform (row 1) as a
// white line across the middle.
uniform sampler2D spectrum;

void main()
{
    vec2 uv = gl_TexCoord[0].st;
    float column = floor(uv.x * 64.0);
    float level = 0.0;
    for (int i = 0; i < 4; ++i)
        level = max(level, texture2D(spectrum, vec2((column * 4.0 + float(i) + 0.5) / 256.0, 0.25)).r);
    float inBar = step(uv.y, level) * step(0.1, fract(uv.x * 64.0));
    vec3 colour = inBar * mix(vec3(0.1, 0.4, 1.0), vec3(1.0, 0.3, 0.1), uv.y);
    float wave = texture2D(spectrum, vec2(uv.x, 0.75)).r;
    colour += vec3(1.0 - smoothstep(0.0, 0.006, abs(uv.y - wave)));
    gl_FragColor = vec4(colour, 1.0);
}
