// The bundled show's music made visible: rings running out from the centre
// that swell with the bass, spokes that follow the middle of the spectrum,
// a glow for the treble, and the waveform drawn as a trembling circle.
// `hue` turns the colours (a key in the show changes it).
uniform float time;
uniform vec2 resolution;
uniform sampler2D spectrum;
uniform float hue;

// The mean level of the bands between two places of the spectrum row.
float bands(float from, float to)
{
    float sum = 0.0;
    for (int i = 0; i < 8; ++i)
        sum += texture2D(spectrum, vec2(mix(from, to, (float(i) + 0.5) / 8.0), 0.25)).r;
    return sum / 8.0;
}

vec3 tint(vec3 c)
{
    float s = sin(hue), k = cos(hue);
    return vec3(c.r * k + c.b * s, c.g, c.b * k - c.r * s) * 0.5 + c * 0.5;
}

void main()
{
    vec2 p = (gl_FragCoord.xy - 0.5 * resolution) / resolution.y;
    float r = length(p);
    float a = atan(p.y, p.x);
    // The tune sits between about -50 and -25 dB: stretch that range.
    float bass = smoothstep(0.1, 0.45, bands(0.0, 0.25));
    float middle = smoothstep(0.15, 0.5, bands(0.25, 0.5));
    float treble = smoothstep(0.03, 0.25, bands(0.5, 0.8));

    float rings = pow(0.5 + 0.5 * sin(r * 30.0 - time * 4.0), 3.0) * (0.15 + 1.3 * bass);
    float spokes = pow(0.5 + 0.5 * sin(a * 12.0 + time * 0.8 + r * 6.0), 5.0) * (0.1 + 1.2 * middle);
    float wave = texture2D(spectrum, vec2(fract(a / 6.2831853 + 0.5), 0.75)).r - 0.5;
    float circle = 1.0 - smoothstep(0.0, 0.012, abs(r - 0.3 - wave * 0.5));
    float glow = treble * (1.0 - smoothstep(0.0, 0.35, r));

    vec3 c = rings * vec3(0.25, 0.55, 1.0) + spokes * vec3(1.0, 0.35, 0.8) + glow * vec3(1.0, 0.85, 0.35);
    c = tint(c) * (1.0 - 0.6 * smoothstep(0.45, 0.9, r)) + circle * vec3(1.0);
    gl_FragColor = vec4(c, 1.0);
}
