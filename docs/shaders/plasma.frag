// A plasma of four sine waves, drifting with the show clock. The uniform
// gain (set by the script, changed by keys) sets its brightness.
uniform float time;
uniform vec2 resolution;
uniform float gain;

void main()
{
    vec2 p = (gl_FragCoord.xy - 0.5 * resolution) / resolution.y;
    float v = sin(p.x * 6.0 + time) + sin(p.y * 7.0 - time * 1.3) + sin((p.x + p.y) * 5.0 + time * 0.7) +
              sin(length(p) * 9.0 - time * 2.0);
    vec3 colour = 0.5 + 0.5 * vec3(sin(v * 1.5), sin(v * 1.5 + 2.1), sin(v * 1.5 + 4.2));
    gl_FragColor = vec4(colour * gain, 1.0);
}
